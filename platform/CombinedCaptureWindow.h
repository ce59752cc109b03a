#pragma once
// A capture window of two services as one (platform/CombinedCapture.h): a
// window of the first service until it connects a driver of the second;
// then that window ends and one of the second is made in its place, with the
// same parent, place and style.

#include "platform/CaptureRoutes.h"
#include "platform/CaptureWindow.h"

class CombinedCaptureWindow final : public ICaptureWindow {
public:
    // hInner: a window of service, which outlives this, as routes does.
    CombinedCaptureWindow(const CaptureRoutes& routes, ICapture& service, HCAPWND hInner,
                          CaptureWindowPlace place);
    // Ends the inner window.
    ~CombinedCaptureWindow() override;

    CombinedCaptureWindow(const CombinedCaptureWindow&) = delete;
    CombinedCaptureWindow& operator=(const CombinedCaptureWindow&) = delete;

    bool Stands() const override;
    bool Connect(int nDriver) override;
    bool GetFormat(BITMAPINFOHEADER& header) override;
    bool SetFormat(const BITMAPINFOHEADER& header) override;
    void SetPreviewRate(unsigned nMilliseconds) override;
    void SetCallback(CaptureFrameProc proc) override;
    bool SetPreview(bool bPreview) override;
    bool Previewing() const override;
    uint32_t FrameIntervalUs() const override;

private:
    const CaptureRoutes& m_routes;
    ICapture* m_pService;
    HCAPWND m_hInner;  // null once it could not be made again
    const CaptureWindowPlace m_place;
};
