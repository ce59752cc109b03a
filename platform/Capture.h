#pragma once
// Capture services: camera drivers by index, and capture windows that show a
// connected driver's live preview inside a show window.
//
// Callers rely on:
// - GetDriverDescription(n, name, cbName, version, cbVersion), n from 0 to
//   MAX_CAPTURE_DRIVERS - 1: non-zero when a camera that captures video is
//   installed at n; name and version then hold NUL-terminated text cut to
//   their buffers (80 bytes each is enough for any). 0 otherwise, for any
//   other n too.
// - CreateCaptureWindow makes a child window of parent at (x, y), w x h, in
//   the parent's client coordinates, shown when the style has WS_VISIBLE; null
//   when it cannot be made (no parent, the parent cannot show frames). It ends
//   with its parent at the latest.
// - IsWindow(h) is non-zero while h is a capture window that has not ended.
//   Every other call on a null or ended handle does nothing and returns 0.
// - DriverConnect(h, n) is non-zero when driver n is now this window's; a
//   camera that another program holds does not connect.
// - SetScale and SetPreviewRate (milliseconds between frames, asked of the
//   camera where it can pace itself) have no result worth testing.
// - GetVideoFormat(h, p, cb) fills up to cb bytes of p with the connected
//   driver's current format: biWidth, biHeight (positive: rows stored
//   bottom-up), biBitCount, biCompression (BI_RGB for uncompressed 24-bit);
//   returns the bytes filled, 0 when not connected.
// - SetVideoFormat(h, p, cb) is non-zero when the driver accepted the format
//   at exactly p's width and height. BI_RGB asks for packed 24-bit
//   blue-green-red frames, whatever p's bit count. Fails while the preview
//   runs.
// - SetCallbackOnFrame(h, proc): proc is called once per captured frame, on a
//   thread of the service's own (never the caller's), with the window and a
//   header whose lpData points at the frame as a packed bottom-up bitmap of
//   the current format; the frame is valid during the call only. Null stops
//   the calls. Once SetPreview(h, 0) or DestroyWindow(h) has returned, no
//   call is running and none will come.
// - SetPreview(h, 1) streams frames and shows each one unscaled at the
//   window's top-left, on the user-interface thread; SetPreview(h, 0) stops.
//   A camera that fails or is unplugged while it runs ends the stream by
//   itself: the last picture stays, one line goes to standard error.
// - IsPreviewing(h) is non-zero while the preview streams: SetPreview(h, 1)
//   has started it and neither SetPreview(h, 0) nor a failure has ended it.
//   Optional: a service that cannot tell answers as IsWindow does.
// - GetFrameInterval(h): microseconds between the frames of the running
//   preview as the camera reports them; 0 when it reports none or no preview
//   runs. Optional: 0 where the service does not know.
// - DestroyWindow(h) ends the window; no thread, file or mapping of it is
//   left afterwards.
// Every call but the frame callback is made on the user-interface thread.

#include <cstdint>

#include "platform/BitmapInfo.h"
#include "platform/WindowStyles.h"

class IShowWindow;

constexpr int MAX_CAPTURE_DRIVERS = 10;
constexpr int CAPTURE_DRIVER_TEXT_BYTES = 80;

// One captured frame as the frame callback sees it.
struct VIDEOHDR {
    uint8_t* lpData;
    uint32_t dwBufferLength;
    uint32_t dwBytesUsed;
    uint32_t dwTimeCaptured;  // milliseconds since the preview started
    uintptr_t dwUser;
    uint32_t dwFlags;
    uintptr_t dwReserved[4];
};

constexpr uint32_t VHDR_DONE = 0x01;

struct CaptureWindow;
using HCAPWND = CaptureWindow*;
using CaptureFrameProc = intptr_t (*)(HCAPWND hWnd, VIDEOHDR* pHdr);

class ICapture {
public:
    virtual ~ICapture() = default;

    virtual int GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                                     int cbVersion) = 0;
    virtual HCAPWND CreateCaptureWindow(const char* pszName, uint32_t dwStyle, int x, int y, int w,
                                        int h, IShowWindow* pParent, int nId) = 0;
    virtual int IsWindow(HCAPWND h) = 0;
    virtual int DriverConnect(HCAPWND h, int nDriver) = 0;
    virtual int SetScale(HCAPWND h, int bScale) = 0;
    virtual int SetPreviewRate(HCAPWND h, unsigned nMilliseconds) = 0;
    virtual int GetVideoFormat(HCAPWND h, BITMAPINFO* pFormat, unsigned cbFormat) = 0;
    virtual int SetVideoFormat(HCAPWND h, const BITMAPINFO* pFormat, unsigned cbFormat) = 0;
    virtual int SetCallbackOnFrame(HCAPWND h, CaptureFrameProc proc) = 0;
    virtual int SetPreview(HCAPWND h, int bPreview) = 0;
    virtual int IsPreviewing(HCAPWND h) { return IsWindow(h); }
    virtual uint32_t GetFrameInterval(HCAPWND /*h*/) { return 0; }
    virtual int DestroyWindow(HCAPWND h) = 0;
};

namespace platform {
// The process's capture service; without one installed there is no driver
// and no capture window can be made. Not owned.
ICapture& Capture();
void SetCapture(ICapture* service);
}  // namespace platform
