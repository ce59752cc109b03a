#pragma once
// The capture service on V4L2 through libv4l2: driver index n is /dev/videon.
// Capture windows show their preview through the parent show window's frame
// view. Install with platform::SetCapture; it must outlive every capture
// window and end before the Qt application does.

#include <memory>

#include "platform/CaptureService.h"
#include "platform/v4l2/V4l2Device.h"

class V4l2Capture final : public CaptureService {
public:
    // The real cameras.
    V4l2Capture();
    // Cameras behind another device seam; not owned, outlives this.
    explicit V4l2Capture(IV4l2Device& device);
    ~V4l2Capture() override;

    int GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                             int cbVersion) override;

private:
    std::unique_ptr<ICaptureWindow> MakeWindow(const CaptureWindowPlace& place,
                                               HCAPWND hWnd) override;

    IV4l2Device& m_device;
};
