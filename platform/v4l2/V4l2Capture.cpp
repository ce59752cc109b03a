#include "platform/v4l2/V4l2Capture.h"

#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/ShowWindow.h"
#include "platform/v4l2/Libv4l2Device.h"
#include "platform/v4l2/V4l2CaptureWindow.h"

V4l2Capture::V4l2Capture()
    : m_pOwnDevice(std::make_unique<Libv4l2Device>()), m_device(*m_pOwnDevice) {}

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

HCAPWND V4l2Capture::CreateCaptureWindow(const char* /*pszName*/, uint32_t dwStyle, int x, int y,
                                         int w, int h, IShowWindow* pParent, int /*nId*/) {
    if (!pParent || w <= 0 || h <= 0) return nullptr;
    const auto hWnd = reinterpret_cast<HCAPWND>(++m_nLastHandle);
    const bool bShown = (dwStyle & WS_VISIBLE) != 0;
    IFrameView* pView =
        pParent->CreateFrameView(x, y, w, h, bShown, [this, hWnd] { OnViewEnded(hWnd); });
    if (!pView) return nullptr;
    m_windows[hWnd] = std::make_unique<V4l2CaptureWindow>(m_device, pView, bShown, hWnd);
    return hWnd;
}

V4l2CaptureWindow* V4l2Capture::Find(HCAPWND h) const {
    const auto it = m_windows.find(h);
    return it == m_windows.end() ? nullptr : it->second.get();
}

void V4l2Capture::OnViewEnded(HCAPWND h) {
    const auto it = m_windows.find(h);
    if (it == m_windows.end()) return;
    it->second->ForgetView();
    m_windows.erase(it);
}

int V4l2Capture::IsWindow(HCAPWND h) { return Find(h) ? 1 : 0; }

int V4l2Capture::DriverConnect(HCAPWND h, int nDriver) {
    V4l2CaptureWindow* pWnd = Find(h);
    return pWnd && pWnd->Connect(nDriver) ? 1 : 0;
}

// Frames are always shown unscaled.
int V4l2Capture::SetScale(HCAPWND h, int /*bScale*/) { return Find(h) ? 1 : 0; }

int V4l2Capture::SetPreviewRate(HCAPWND h, unsigned nMilliseconds) {
    V4l2CaptureWindow* pWnd = Find(h);
    if (!pWnd) return 0;
    pWnd->SetPreviewRate(nMilliseconds);
    return 1;
}

int V4l2Capture::GetVideoFormat(HCAPWND h, BITMAPINFO* pFormat, unsigned cbFormat) {
    V4l2CaptureWindow* pWnd = Find(h);
    BITMAPINFOHEADER header;
    if (!pWnd || !pFormat || !pWnd->GetFormat(header)) return 0;
    // As many bytes as the caller has room for: the header, then one empty
    // colour entry.
    BITMAPINFO info{};
    info.bmiHeader = header;
    const unsigned nBytes = std::min<unsigned>(cbFormat, sizeof(info));
    std::memcpy(pFormat, &info, nBytes);
    return static_cast<int>(nBytes);
}

int V4l2Capture::SetVideoFormat(HCAPWND h, const BITMAPINFO* pFormat, unsigned cbFormat) {
    V4l2CaptureWindow* pWnd = Find(h);
    if (!pWnd || !pFormat || cbFormat < sizeof(BITMAPINFOHEADER)) return 0;
    return pWnd->SetFormat(pFormat->bmiHeader) ? 1 : 0;
}

int V4l2Capture::SetCallbackOnFrame(HCAPWND h, CaptureFrameProc proc) {
    V4l2CaptureWindow* pWnd = Find(h);
    if (!pWnd) return 0;
    pWnd->SetCallback(proc);
    return 1;
}

int V4l2Capture::SetPreview(HCAPWND h, int bPreview) {
    V4l2CaptureWindow* pWnd = Find(h);
    return pWnd && pWnd->SetPreview(bPreview != 0) ? 1 : 0;
}

uint32_t V4l2Capture::GetFrameInterval(HCAPWND h) {
    const V4l2CaptureWindow* pWnd = Find(h);
    return pWnd ? pWnd->FrameIntervalUs() : 0;
}

int V4l2Capture::DestroyWindow(HCAPWND h) { return m_windows.erase(h) ? 1 : 0; }

bool V4l2Capture::Previewing(HCAPWND h) const {
    const V4l2CaptureWindow* pWnd = Find(h);
    return pWnd && pWnd->Previewing();
}
