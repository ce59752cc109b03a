#include "platform/CaptureService.h"

#include <algorithm>
#include <cstring>

#include "platform/ShowWindow.h"

CaptureService::CaptureService() = default;

CaptureService::~CaptureService() = default;

HCAPWND CaptureService::CreateCaptureWindow(const char* pszName, uint32_t dwStyle, int x, int y,
                                            int w, int h, IShowWindow* pParent, int nId) {
    if (!pParent || w <= 0 || h <= 0) return nullptr;
    // Windows that ended by themselves are forgotten here.
    std::erase_if(m_windows, [](const auto& entry) { return !entry.second->Stands(); });
    const auto hWnd = reinterpret_cast<HCAPWND>(++m_nLastHandle);
    std::unique_ptr<ICaptureWindow> pWnd = MakeWindow(
        CaptureWindowPlace{pszName ? pszName : "", dwStyle, x, y, w, h, pParent, nId}, hWnd);
    if (!pWnd) return nullptr;
    m_windows[hWnd] = std::move(pWnd);
    return hWnd;
}

IFrameView* CaptureService::MakeView(const CaptureWindowPlace& place, HCAPWND hWnd) {
    return place.pParent->CreateFrameView(place.x, place.y, place.w, place.h, place.Shown(),
                                          [this, hWnd] { OnViewEnded(hWnd); });
}

ICaptureWindow* CaptureService::Find(HCAPWND h) const {
    const auto it = m_windows.find(h);
    return it == m_windows.end() || !it->second->Stands() ? nullptr : it->second.get();
}

void CaptureService::OnViewEnded(HCAPWND h) {
    const auto it = m_windows.find(h);
    if (it == m_windows.end()) return;
    it->second->ForgetView();
    m_windows.erase(it);
}

int CaptureService::IsWindow(HCAPWND h) { return Find(h) ? 1 : 0; }

int CaptureService::DriverConnect(HCAPWND h, int nDriver) {
    ICaptureWindow* pWnd = Find(h);
    return pWnd && pWnd->Connect(nDriver) ? 1 : 0;
}

// Frames are always shown unscaled.
int CaptureService::SetScale(HCAPWND h, int /*bScale*/) { return Find(h) ? 1 : 0; }

int CaptureService::SetPreviewRate(HCAPWND h, unsigned nMilliseconds) {
    ICaptureWindow* pWnd = Find(h);
    if (!pWnd) return 0;
    pWnd->SetPreviewRate(nMilliseconds);
    return 1;
}

int CaptureService::GetVideoFormat(HCAPWND h, BITMAPINFO* pFormat, unsigned cbFormat) {
    ICaptureWindow* pWnd = Find(h);
    // As many bytes as the caller has room for: the header, then one empty
    // colour entry.
    BITMAPINFO info{};
    if (!pWnd || !pFormat || !pWnd->GetFormat(info.bmiHeader)) return 0;
    const unsigned nBytes = std::min<unsigned>(cbFormat, sizeof(info));
    std::memcpy(pFormat, &info, nBytes);
    return static_cast<int>(nBytes);
}

int CaptureService::SetVideoFormat(HCAPWND h, const BITMAPINFO* pFormat, unsigned cbFormat) {
    ICaptureWindow* pWnd = Find(h);
    if (!pWnd || !pFormat || cbFormat < sizeof(BITMAPINFOHEADER)) return 0;
    return pWnd->SetFormat(pFormat->bmiHeader) ? 1 : 0;
}

int CaptureService::SetCallbackOnFrame(HCAPWND h, CaptureFrameProc proc) {
    ICaptureWindow* pWnd = Find(h);
    if (!pWnd) return 0;
    pWnd->SetCallback(proc);
    return 1;
}

int CaptureService::SetPreview(HCAPWND h, int bPreview) {
    ICaptureWindow* pWnd = Find(h);
    return pWnd && pWnd->SetPreview(bPreview != 0) ? 1 : 0;
}

int CaptureService::IsPreviewing(HCAPWND h) {
    const ICaptureWindow* pWnd = Find(h);
    return pWnd && pWnd->Previewing() ? 1 : 0;
}

uint32_t CaptureService::GetFrameInterval(HCAPWND h) {
    const ICaptureWindow* pWnd = Find(h);
    return pWnd ? pWnd->FrameIntervalUs() : 0;
}

int CaptureService::DestroyWindow(HCAPWND h) {
    const auto it = m_windows.find(h);
    if (it == m_windows.end()) return 0;
    const bool bStood = it->second->Stands();
    m_windows.erase(it);
    return bStood ? 1 : 0;
}
