#include "platform/CombinedCapture.h"

namespace {

bool HasDriver(ICapture& service, int nDriver) {
    char szName[CAPTURE_DRIVER_TEXT_BYTES] = {};
    char szVersion[CAPTURE_DRIVER_TEXT_BYTES] = {};
    return service.GetDriverDescription(nDriver, szName, sizeof(szName), szVersion,
                                        sizeof(szVersion)) != 0;
}

}  // namespace

CombinedCapture::CombinedCapture(ICapture& first, ICapture& second) : m_first(first) {
    int nNextOfSecond = 0;
    for (int n = 0; n < MAX_CAPTURE_DRIVERS; ++n) {
        m_routes[n] = Route{&first, n};
        if (HasDriver(first, n)) continue;
        while (nNextOfSecond < MAX_CAPTURE_DRIVERS && !HasDriver(second, nNextOfSecond))
            ++nNextOfSecond;
        if (nNextOfSecond < MAX_CAPTURE_DRIVERS) m_routes[n] = Route{&second, nNextOfSecond++};
    }
}

CombinedCapture::~CombinedCapture() {
    for (auto& [h, window] : m_windows)
        if (window.hInner) window.pService->DestroyWindow(window.hInner);
}

CombinedCapture::Route CombinedCapture::RouteOf(int nDriver) const {
    if (nDriver < 0 || nDriver >= MAX_CAPTURE_DRIVERS) return Route{&m_first, nDriver};
    return m_routes[nDriver];
}

CombinedCapture::Window* CombinedCapture::Find(HCAPWND h) {
    const auto it = m_windows.find(h);
    return it == m_windows.end() ? nullptr : &it->second;
}

int CombinedCapture::GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                                          int cbVersion) {
    if (nDriver < 0 || nDriver >= MAX_CAPTURE_DRIVERS) return 0;
    const Route route = RouteOf(nDriver);
    return route.pService->GetDriverDescription(route.nDriver, pszName, cbName, pszVersion,
                                                cbVersion);
}

HCAPWND CombinedCapture::CreateCaptureWindow(const char* pszName, uint32_t dwStyle, int x, int y,
                                             int w, int h, IShowWindow* pParent, int nId) {
    // Windows that ended with their parents are forgotten here.
    for (auto it = m_windows.begin(); it != m_windows.end();) {
        if (!it->second.hInner || !it->second.pService->IsWindow(it->second.hInner))
            it = m_windows.erase(it);
        else
            ++it;
    }
    const HCAPWND hInner = m_first.CreateCaptureWindow(pszName, dwStyle, x, y, w, h, pParent, nId);
    if (!hInner) return nullptr;
    const auto hWnd = reinterpret_cast<HCAPWND>(++m_nLastHandle);
    m_windows[hWnd] =
        Window{&m_first, hInner, pszName ? pszName : "", dwStyle, x, y, w, h, pParent, nId};
    return hWnd;
}

int CombinedCapture::IsWindow(HCAPWND h) {
    Window* pWnd = Find(h);
    return pWnd && pWnd->hInner ? pWnd->pService->IsWindow(pWnd->hInner) : 0;
}

int CombinedCapture::DriverConnect(HCAPWND h, int nDriver) {
    Window* pWnd = Find(h);
    if (!pWnd || !pWnd->hInner) return 0;
    const Route route = RouteOf(nDriver);
    if (route.pService != pWnd->pService) {
        if (!pWnd->pService->IsWindow(pWnd->hInner)) return 0;
        pWnd->pService->DestroyWindow(pWnd->hInner);
        pWnd->pService = route.pService;
        pWnd->hInner = route.pService->CreateCaptureWindow(pWnd->strName.c_str(), pWnd->dwStyle,
                                                           pWnd->x, pWnd->y, pWnd->w, pWnd->h,
                                                           pWnd->pParent, pWnd->nId);
        if (!pWnd->hInner) return 0;
    }
    return pWnd->pService->DriverConnect(pWnd->hInner, route.nDriver);
}

int CombinedCapture::SetScale(HCAPWND h, int bScale) {
    return Forward(h, [&](ICapture& c, HCAPWND hInner) { return c.SetScale(hInner, bScale); });
}
int CombinedCapture::SetPreviewRate(HCAPWND h, unsigned nMilliseconds) {
    return Forward(
        h, [&](ICapture& c, HCAPWND hInner) { return c.SetPreviewRate(hInner, nMilliseconds); });
}
int CombinedCapture::GetVideoFormat(HCAPWND h, BITMAPINFO* pFormat, unsigned cbFormat) {
    return Forward(h, [&](ICapture& c, HCAPWND hInner) {
        return c.GetVideoFormat(hInner, pFormat, cbFormat);
    });
}
int CombinedCapture::SetVideoFormat(HCAPWND h, const BITMAPINFO* pFormat, unsigned cbFormat) {
    return Forward(h, [&](ICapture& c, HCAPWND hInner) {
        return c.SetVideoFormat(hInner, pFormat, cbFormat);
    });
}
int CombinedCapture::SetCallbackOnFrame(HCAPWND h, CaptureFrameProc proc) {
    return Forward(h,
                   [&](ICapture& c, HCAPWND hInner) { return c.SetCallbackOnFrame(hInner, proc); });
}
int CombinedCapture::SetPreview(HCAPWND h, int bPreview) {
    return Forward(h, [&](ICapture& c, HCAPWND hInner) { return c.SetPreview(hInner, bPreview); });
}
int CombinedCapture::IsPreviewing(HCAPWND h) {
    return Forward(h, [](ICapture& c, HCAPWND hInner) { return c.IsPreviewing(hInner); });
}
uint32_t CombinedCapture::GetFrameInterval(HCAPWND h) {
    return Forward(h, [](ICapture& c, HCAPWND hInner) { return c.GetFrameInterval(hInner); });
}

int CombinedCapture::DestroyWindow(HCAPWND h) {
    const auto it = m_windows.find(h);
    if (it == m_windows.end()) return 0;
    const Window window = it->second;
    m_windows.erase(it);
    return window.hInner ? window.pService->DestroyWindow(window.hInner) : 0;
}
