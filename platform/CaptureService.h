#pragma once
// What every capture service here shares: the table of window handles, and
// each call on a window handed to the window behind the handle (see
// platform/CaptureWindow.h). A service adds its driver list and how it makes
// a window.
//
// Handles are numbers never given twice, so an ended window's handle cannot
// name a newer one. Windows end with the service, after the service's own
// members: a window relies only on what outlives its service.

#include <map>
#include <memory>

#include "platform/Capture.h"
#include "platform/CaptureWindow.h"

class IFrameView;

class CaptureService : public ICapture {
public:
    ~CaptureService() override;

    CaptureService(const CaptureService&) = delete;
    CaptureService& operator=(const CaptureService&) = delete;

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
    int IsPreviewing(HCAPWND h) override;
    uint32_t GetFrameInterval(HCAPWND h) override;
    int DestroyWindow(HCAPWND h) override;

protected:
    CaptureService();

    // The window behind the new handle hWnd, made as place says; null when
    // it cannot be made. place has a parent and a size.
    virtual std::unique_ptr<ICaptureWindow> MakeWindow(const CaptureWindowPlace& place,
                                                       HCAPWND hWnd) = 0;
    // A view in place's parent for the preview of window hWnd, or null; when
    // it ends with the parent, window hWnd ends too.
    IFrameView* MakeView(const CaptureWindowPlace& place, HCAPWND hWnd);

private:
    ICaptureWindow* Find(HCAPWND h) const;
    void OnViewEnded(HCAPWND h);

    uintptr_t m_nLastHandle = 0;
    std::map<HCAPWND, std::unique_ptr<ICaptureWindow>> m_windows;
};
