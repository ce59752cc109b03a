#include "platform/CaptureDelivery.h"

#include "platform/FrameView.h"

CaptureDelivery::CaptureDelivery(HCAPWND hWnd, IFrameView* pView, bool bShown)
    : m_hWnd(hWnd), m_pView(pView), m_bShown(bShown) {}

CaptureDelivery::~CaptureDelivery() {
    if (m_pView) m_pView->Destroy();
}

void CaptureDelivery::Deliver(std::vector<uint8_t>& frame, int nWidth, int nHeight,
                              uint32_t nTimeMs) {
    VIDEOHDR header{};
    header.lpData = frame.data();
    header.dwBufferLength = static_cast<uint32_t>(frame.size());
    header.dwBytesUsed = header.dwBufferLength;
    header.dwTimeCaptured = nTimeMs;
    header.dwFlags = VHDR_DONE;
    if (CaptureFrameProc proc = m_callback.load()) proc(m_hWnd, &header);
    if (m_pView && m_bShown) m_pView->Present(frame.data(), nWidth, nHeight);
}
