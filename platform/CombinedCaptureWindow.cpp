#include "platform/CombinedCaptureWindow.h"

#include <utility>

CombinedCaptureWindow::CombinedCaptureWindow(const CaptureRoutes& routes, ICapture& service,
                                             HCAPWND hInner, CaptureWindowPlace place)
    : m_routes(routes), m_pService(&service), m_hInner(hInner), m_place(std::move(place)) {}

CombinedCaptureWindow::~CombinedCaptureWindow() {
    if (m_hInner) m_pService->DestroyWindow(m_hInner);
}

// The inner window ends with its parent by itself.
bool CombinedCaptureWindow::Stands() const { return m_hInner && m_pService->IsWindow(m_hInner); }

bool CombinedCaptureWindow::Connect(int nDriver) {
    const CaptureRoutes::Route route = m_routes.Of(nDriver);
    if (route.pService != m_pService) {
        m_pService->DestroyWindow(m_hInner);
        m_pService = route.pService;
        m_hInner = m_pService->CreateCaptureWindow(m_place.strName.c_str(), m_place.dwStyle,
                                                   m_place.x, m_place.y, m_place.w, m_place.h,
                                                   m_place.pParent, m_place.nId);
        if (!m_hInner) return false;
    }
    return m_pService->DriverConnect(m_hInner, route.nDriver) != 0;
}

bool CombinedCaptureWindow::GetFormat(BITMAPINFOHEADER& header) {
    BITMAPINFO info{};
    if (m_pService->GetVideoFormat(m_hInner, &info, sizeof(info)) <
        static_cast<int>(sizeof(BITMAPINFOHEADER)))
        return false;
    header = info.bmiHeader;
    return true;
}

bool CombinedCaptureWindow::SetFormat(const BITMAPINFOHEADER& header) {
    BITMAPINFO info{};
    info.bmiHeader = header;
    return m_pService->SetVideoFormat(m_hInner, &info, sizeof(info)) != 0;
}

void CombinedCaptureWindow::SetPreviewRate(unsigned nMilliseconds) {
    m_pService->SetPreviewRate(m_hInner, nMilliseconds);
}

void CombinedCaptureWindow::SetCallback(CaptureFrameProc proc) {
    m_pService->SetCallbackOnFrame(m_hInner, proc);
}

bool CombinedCaptureWindow::SetPreview(bool bPreview) {
    return m_pService->SetPreview(m_hInner, bPreview ? 1 : 0) != 0;
}

bool CombinedCaptureWindow::Previewing() const { return m_pService->IsPreviewing(m_hInner) != 0; }

uint32_t CombinedCaptureWindow::FrameIntervalUs() const {
    return m_pService->GetFrameInterval(m_hInner);
}
