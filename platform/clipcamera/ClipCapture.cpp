#include "platform/clipcamera/ClipCapture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/ShowWindow.h"
#include "platform/clipcamera/ClipCaptureWindow.h"

namespace {

std::string CameraName(const std::string& strPath) {
    const size_t nSlash = strPath.find_last_of('/');
    return "Clip camera (" + (nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1)) +
           ")";
}

}  // namespace

ClipCapture::ClipCapture(IVideoFiles& files, std::string strPath)
    : m_files(files), m_strPath(std::move(strPath)), m_strName(CameraName(m_strPath)) {}

ClipCapture::~ClipCapture() = default;

int ClipCapture::GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                                      int cbVersion) {
    if (nDriver != 0) return 0;
    if (pszName && cbName > 0)
        std::snprintf(pszName, static_cast<size_t>(cbName), "%s", m_strName.c_str());
    if (pszVersion && cbVersion > 0)
        std::snprintf(pszVersion, static_cast<size_t>(cbVersion), "1.0");
    return 1;
}

HCAPWND ClipCapture::CreateCaptureWindow(const char* /*pszName*/, uint32_t dwStyle, int x, int y,
                                         int w, int h, IShowWindow* pParent, int /*nId*/) {
    if (!pParent || w <= 0 || h <= 0) return nullptr;
    const auto hWnd = reinterpret_cast<HCAPWND>(++m_nLastHandle);
    const bool bShown = (dwStyle & WS_VISIBLE) != 0;
    IFrameView* pView =
        pParent->CreateFrameView(x, y, w, h, bShown, [this, hWnd] { OnViewEnded(hWnd); });
    if (!pView) return nullptr;
    m_windows[hWnd] = std::make_unique<ClipCaptureWindow>(m_files, pView, bShown, hWnd);
    return hWnd;
}

ClipCaptureWindow* ClipCapture::Find(HCAPWND h) const {
    const auto it = m_windows.find(h);
    return it == m_windows.end() ? nullptr : it->second.get();
}

void ClipCapture::OnViewEnded(HCAPWND h) {
    const auto it = m_windows.find(h);
    if (it == m_windows.end()) return;
    it->second->ForgetView();
    m_windows.erase(it);
}

int ClipCapture::IsWindow(HCAPWND h) { return Find(h) ? 1 : 0; }

int ClipCapture::DriverConnect(HCAPWND h, int nDriver) {
    ClipCaptureWindow* pWnd = Find(h);
    return pWnd && nDriver == 0 && pWnd->Connect(m_strPath, m_strName) ? 1 : 0;
}

// Frames are always shown unscaled.
int ClipCapture::SetScale(HCAPWND h, int /*bScale*/) { return Find(h) ? 1 : 0; }

// The clip keeps its own rate.
int ClipCapture::SetPreviewRate(HCAPWND h, unsigned /*nMilliseconds*/) { return Find(h) ? 1 : 0; }

int ClipCapture::GetVideoFormat(HCAPWND h, BITMAPINFO* pFormat, unsigned cbFormat) {
    const ClipCaptureWindow* pWnd = Find(h);
    BITMAPINFO info{};
    if (!pWnd || !pFormat || !pWnd->GetFormat(info.bmiHeader)) return 0;
    const unsigned nBytes = std::min<unsigned>(cbFormat, sizeof(info));
    std::memcpy(pFormat, &info, nBytes);
    return static_cast<int>(nBytes);
}

int ClipCapture::SetVideoFormat(HCAPWND h, const BITMAPINFO* pFormat, unsigned cbFormat) {
    const ClipCaptureWindow* pWnd = Find(h);
    if (!pWnd || !pFormat || cbFormat < sizeof(BITMAPINFOHEADER)) return 0;
    return pWnd->SetFormat(pFormat->bmiHeader) ? 1 : 0;
}

int ClipCapture::SetCallbackOnFrame(HCAPWND h, CaptureFrameProc proc) {
    ClipCaptureWindow* pWnd = Find(h);
    if (!pWnd) return 0;
    pWnd->SetCallback(proc);
    return 1;
}

int ClipCapture::SetPreview(HCAPWND h, int bPreview) {
    ClipCaptureWindow* pWnd = Find(h);
    return pWnd && pWnd->SetPreview(bPreview != 0) ? 1 : 0;
}

int ClipCapture::IsPreviewing(HCAPWND h) {
    const ClipCaptureWindow* pWnd = Find(h);
    return pWnd && pWnd->Previewing() ? 1 : 0;
}

uint32_t ClipCapture::GetFrameInterval(HCAPWND h) {
    const ClipCaptureWindow* pWnd = Find(h);
    return pWnd ? pWnd->FrameIntervalUs() : 0;
}

int ClipCapture::DestroyWindow(HCAPWND h) { return m_windows.erase(h) ? 1 : 0; }
