#pragma once
// The capture service on V4L2 through libv4l2: driver index n is /dev/videon.
// Capture windows show their preview through the parent show window's frame
// view. Install with platform::SetCapture; it must outlive every capture
// window and end before the Qt application does.

#include <map>
#include <memory>

#include "platform/Capture.h"
#include "platform/v4l2/V4l2Device.h"

class V4l2CaptureWindow;

class V4l2Capture final : public ICapture {
public:
    // The real cameras.
    V4l2Capture();
    // Cameras behind another device seam; not owned.
    explicit V4l2Capture(IV4l2Device& device);
    ~V4l2Capture() override;

    V4l2Capture(const V4l2Capture&) = delete;
    V4l2Capture& operator=(const V4l2Capture&) = delete;

    int GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                             int cbVersion) override;
    HCAPWND CreateCaptureWindow(const char* pszName, uint32_t dwStyle, int x, int y, int w, int h,
                                IShowWindow* pParent, int nId) override;
    int IsWindow(HCAPWND h) override;
    int DriverConnect(HCAPWND h, int nDriver) override;
    int SetScale(HCAPWND h, int bScale) override;
    int SetPreviewRate(HCAPWND h, unsigned nMilliseconds) override;
    int GetVideoFormat(HCAPWND h, BITMAPINFO* pFormat, unsigned cbFormat) override;
    int SetVideoFormat(HCAPWND h, const BITMAPINFO* pFormat, unsigned cbFormat) override;
    int SetCallbackOnFrame(HCAPWND h, CaptureFrameProc proc) override;
    int SetPreview(HCAPWND h, int bPreview) override;
    int IsPreviewing(HCAPWND h) override { return Previewing(h) ? 1 : 0; }
    uint32_t GetFrameInterval(HCAPWND h) override;
    int DestroyWindow(HCAPWND h) override;

    // Whether window h streams frames now; false once its camera has failed.
    bool Previewing(HCAPWND h) const;

private:
    V4l2CaptureWindow* Find(HCAPWND h) const;
    void OnViewEnded(HCAPWND h);

    std::unique_ptr<IV4l2Device> m_pOwnDevice;
    IV4l2Device& m_device;
    // Handles are numbers never given twice, so an ended window's handle
    // cannot name a newer one.
    uintptr_t m_nLastHandle = 0;
    std::map<HCAPWND, std::unique_ptr<V4l2CaptureWindow>> m_windows;
};
