#include "platform/clipcamera/ClipCapture.h"

#include <cstdio>
#include <utility>

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

std::unique_ptr<ICaptureWindow> ClipCapture::MakeWindow(const CaptureWindowPlace& place,
                                                        HCAPWND hWnd) {
    IFrameView* pView = MakeView(place, hWnd);
    if (!pView) return nullptr;
    return std::make_unique<ClipCaptureWindow>(m_files, m_strPath, m_strName, pView, place.Shown(),
                                               hWnd);
}
