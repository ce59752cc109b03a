#pragma once
// One window of a capture service built on CaptureService: the service keeps
// its handle, and calls it on the user-interface thread only, while the
// window stands.

#include <cstdint>
#include <string>

#include "platform/BitmapInfo.h"
#include "platform/Capture.h"

// What a capture window was asked to be made with.
struct CaptureWindowPlace {
    std::string strName;
    uint32_t dwStyle = 0;
    int x = 0, y = 0, w = 0, h = 0;
    IShowWindow* pParent = nullptr;
    int nId = 0;

    bool Shown() const { return (dwStyle & WS_VISIBLE) != 0; }
};

class ICaptureWindow {
public:
    virtual ~ICaptureWindow() = default;

    // False once the window has ended by itself; its handle then counts as
    // ended.
    virtual bool Stands() const { return true; }
    virtual bool Connect(int nDriver) = 0;
    // The connected driver's current format; false when none is connected.
    virtual bool GetFormat(BITMAPINFOHEADER& header) = 0;
    virtual bool SetFormat(const BITMAPINFOHEADER& header) = 0;
    // A window that keeps a pace of its own ignores the one asked for.
    virtual void SetPreviewRate(unsigned /*nMilliseconds*/) {}
    virtual void SetCallback(CaptureFrameProc proc) = 0;
    virtual bool SetPreview(bool bPreview) = 0;
    // Frames are streaming: the preview is on and has not failed.
    virtual bool Previewing() const = 0;
    // Between the running preview's frames; 0 for none.
    virtual uint32_t FrameIntervalUs() const = 0;
    // The view it shows frames in ended with the parent: every Present has
    // stopped when this returns, and the view is not touched again. A window
    // without a view of its own has nothing to do.
    virtual void ForgetView() {}
};
