#include "platform/v4l2/V4l2Capture.h"

#include <fcntl.h>

#include <cstdio>

#include "platform/v4l2/Libv4l2Device.h"
#include "platform/v4l2/V4l2CaptureWindow.h"

namespace {

// libv4l2 keeps nothing in the object, and the windows a service leaves
// behind end after its own members: one for the process serves every service.
Libv4l2Device g_libv4l2;

}  // namespace

V4l2Capture::V4l2Capture() : V4l2Capture(g_libv4l2) {}

V4l2Capture::V4l2Capture(IV4l2Device& device) : m_device(device) {}

V4l2Capture::~V4l2Capture() = default;

int V4l2Capture::GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                                      int cbVersion) {
    if (nDriver < 0 || nDriver >= MAX_CAPTURE_DRIVERS) return 0;
    const int fd =
        m_device.Open(V4l2CaptureWindow::DevicePath(nDriver).c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) return 0;
    v4l2_capability cap;
    const bool bCamera = V4l2CaptureWindow::IsCamera(m_device, fd, cap);
    m_device.Close(fd);
    if (!bCamera) return 0;
    if (pszName && cbName > 0)
        std::snprintf(pszName, static_cast<size_t>(cbName), "%.*s",
                      static_cast<int>(sizeof(cap.card)), reinterpret_cast<const char*>(cap.card));
    if (pszVersion && cbVersion > 0)
        std::snprintf(pszVersion, static_cast<size_t>(cbVersion), "%u.%u.%u",
                      (cap.version >> 16) & 0xFF, (cap.version >> 8) & 0xFF, cap.version & 0xFF);
    return 1;
}

std::unique_ptr<ICaptureWindow> V4l2Capture::MakeWindow(const CaptureWindowPlace& place,
                                                        HCAPWND hWnd) {
    IFrameView* pView = MakeView(place, hWnd);
    if (!pView) return nullptr;
    return std::make_unique<V4l2CaptureWindow>(m_device, pView, place.Shown(), hWnd);
}
