#include "tests/fakes/FakeCapture.h"

#include <cstdio>
#include <cstring>

int FakeCapture::GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                                      int cbVersion) {
    Record("GetDriverDescription " + std::to_string(nDriver));
    const auto it = drivers.find(nDriver);
    if (it == drivers.end() || nDriver < 0 || nDriver >= MAX_CAPTURE_DRIVERS) return 0;
    std::snprintf(pszName, static_cast<size_t>(cbName), "%s", it->second.strName.c_str());
    std::snprintf(pszVersion, static_cast<size_t>(cbVersion), "%s", it->second.strVersion.c_str());
    return 1;
}

HCAPWND FakeCapture::CreateCaptureWindow(const char* pszName, uint32_t dwStyle, int x, int y, int w,
                                         int h, IShowWindow* pParent, int nId) {
    char args[160];
    std::snprintf(args, sizeof(args), "CreateCaptureWindow %s %08X %d %d %d %d %d", pszName,
                  dwStyle, x, y, w, h, nId);
    Record(args);
    pLastParent = pParent;
    if (!bCanCreate || !pParent) return nullptr;
    m_hLast = reinterpret_cast<HCAPWND>(++m_nLastHandle);
    m_windows[m_hLast] = Window{};
    return m_hLast;
}

FakeCapture::Window* FakeCapture::Find(HCAPWND h) {
    const auto it = m_windows.find(h);
    return it == m_windows.end() ? nullptr : &it->second;
}

int FakeCapture::IsWindow(HCAPWND h) {
    Record("IsWindow");
    return Find(h) ? 1 : 0;
}

int FakeCapture::DriverConnect(HCAPWND h, int nDriver) {
    Record("DriverConnect " + std::to_string(nDriver));
    Window* pWnd = Find(h);
    const auto it = drivers.find(nDriver);
    if (!pWnd || it == drivers.end() || !it->second.bConnects) return 0;
    pWnd->nDriver = nDriver;
    return 1;
}

int FakeCapture::SetScale(HCAPWND h, int bScale) {
    Record("SetScale " + std::to_string(bScale));
    return Find(h) ? 1 : 0;
}

int FakeCapture::SetPreviewRate(HCAPWND h, unsigned nMilliseconds) {
    Record("SetPreviewRate " + std::to_string(nMilliseconds));
    return Find(h) ? 1 : 0;
}

int FakeCapture::GetVideoFormat(HCAPWND h, BITMAPINFO* pFormat, unsigned cbFormat) {
    Record("GetVideoFormat " + std::to_string(cbFormat));
    Window* pWnd = Find(h);
    if (!pWnd || pWnd->nDriver < 0 || cbFormat < sizeof(BITMAPINFO)) return 0;
    const FakeCaptureDriver& driver = drivers[pWnd->nDriver];
    *pFormat = BITMAPINFO{};
    pFormat->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    pFormat->bmiHeader.biWidth = driver.nWidth;
    pFormat->bmiHeader.biHeight = driver.nHeight;
    pFormat->bmiHeader.biPlanes = 1;
    pFormat->bmiHeader.biBitCount = 16;
    pFormat->bmiHeader.biCompression = 0x56595559;  // a camera's own coding
    return static_cast<int>(sizeof(BITMAPINFO));
}

int FakeCapture::SetVideoFormat(HCAPWND h, const BITMAPINFO* pFormat, unsigned cbFormat) {
    Record("SetVideoFormat " + std::to_string(cbFormat) + " " +
           std::to_string(pFormat->bmiHeader.biCompression));
    Window* pWnd = Find(h);
    if (!pWnd || pWnd->nDriver < 0 || !drivers[pWnd->nDriver].bAcceptsFormat) return 0;
    const BITMAPINFOHEADER& header = pFormat->bmiHeader;
    pWnd->frame.assign(static_cast<size_t>(PackedRowBytes(header.biWidth, 24)) *
                           static_cast<size_t>(header.biHeight),
                       0);
    return 1;
}

int FakeCapture::SetCallbackOnFrame(HCAPWND h, CaptureFrameProc proc) {
    Record("SetCallbackOnFrame");
    Window* pWnd = Find(h);
    if (!pWnd) return 0;
    pWnd->proc = proc;
    return 1;
}

int FakeCapture::SetPreview(HCAPWND h, int bPreview) {
    Record("SetPreview " + std::to_string(bPreview));
    Window* pWnd = Find(h);
    if (!pWnd || pWnd->frame.empty()) return 0;
    pWnd->bPreview = bPreview != 0;
    return 1;
}

int FakeCapture::IsPreviewing(HCAPWND h) {
    Record("IsPreviewing");
    Window* pWnd = Find(h);
    return pWnd && pWnd->bPreview ? 1 : 0;
}

uint32_t FakeCapture::GetFrameInterval(HCAPWND h) {
    Record("GetFrameInterval");
    Window* pWnd = Find(h);
    return pWnd && pWnd->bPreview ? drivers[pWnd->nDriver].nFrameIntervalUs : 0;
}

int FakeCapture::DestroyWindow(HCAPWND h) {
    Record("DestroyWindow");
    return m_windows.erase(h) ? 1 : 0;
}

bool FakeCapture::EmitFrame(HCAPWND h) {
    Window* pWnd = Find(h);
    if (!pWnd || !pWnd->bPreview || !pWnd->proc) return false;
    VIDEOHDR header{};
    header.lpData = pWnd->frame.data();
    header.dwBufferLength = static_cast<uint32_t>(pWnd->frame.size());
    header.dwBytesUsed = header.dwBufferLength;
    header.dwFlags = VHDR_DONE;
    pWnd->proc(h, &header);
    return true;
}

bool FakeCapture::EmitFrame(HCAPWND h, const std::vector<uint8_t>& frame) {
    Window* pWnd = Find(h);
    if (!pWnd || pWnd->frame.size() != frame.size()) return false;
    pWnd->frame = frame;
    return EmitFrame(h);
}
