// Detection in camera mode: the frame tick on the live picture.

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "detect/ShowWaveDlg.h"
#include "platform/DeviceContext.h"

namespace {

constexpr uint32_t MAX_FRAME_PERIOD_MS = 1000;

// |now - before| per pixel; no change at all without a frame before.
void AbsoluteChange(const uint8_t* pNow, const uint8_t* pBefore, uint8_t* pOut, size_t nPixels) {
    if (!pBefore) {
        std::fill_n(pOut, nPixels, uint8_t{0});
        return;
    }
    for (size_t i = 0; i < nPixels; ++i)
        pOut[i] = static_cast<uint8_t>(pNow[i] > pBefore[i] ? pNow[i] - pBefore[i]
                                                            : pBefore[i] - pNow[i]);
}

}  // namespace

// Ticks a little faster than the camera when its interval is not a whole
// number of milliseconds, so that no frame waits for a second tick.
void CShowWaveDlg::StartCameraDetection(int nDriver, int W, int H) {
    ICapture& capture = platform::Capture();
    const uint32_t nIntervalUs =
        capture.IsWindow(m_hCapture) ? capture.GetFrameInterval(m_hCapture) : 0;
    m_nFramePeriod = nIntervalUs == 0
                         ? CAMERA_FRAME_PERIOD_MS
                         : std::clamp<uint32_t>(nIntervalUs / 1000, 1, MAX_FRAME_PERIOD_MS);

    char szName[CAPTURE_DRIVER_TEXT_BYTES] = {};
    char szVersion[CAPTURE_DRIVER_TEXT_BYTES] = {};
    if (!capture.GetDriverDescription(nDriver, szName, sizeof(szName), szVersion,
                                      sizeof(szVersion)))
        std::snprintf(szName, sizeof(szName), "camera %d", nDriver);
    const double dFramesPerSec = nIntervalUs ? 1e6 / nIntervalUs : 1000.0 / m_nFramePeriod;
    m_osc.ShowStart(szName, W, H, dFramesPerSec);
}

void CShowWaveDlg::CameraTick() {
    ICapture& capture = platform::Capture();
    // Checked before the last frames are taken, so none that came before a
    // failure is left out.
    const bool bLive = capture.IsWindow(m_hCapture) && capture.IsPreviewing(m_hCapture);
    const bool bNew = m_handOver.Take();
    if (!bLive && !bNew) return EndCameraDetection();
    if (m_handOver.Taken() > 0) {
        IDeviceContext& dc = m_pWnd->GetDC();
        m_osc.FrameDrawn();
        ShowCameraPicture(dc);

        if (m_nTickCount > static_cast<int32_t>(RANKING_INTERVAL_MS / m_nFramePeriod)) {
            const int W = m_handOver.Width();
            const int H = m_handOver.Height();
            const uint8_t* pRanked = m_handOver.Latest();
            if (m_nCameraDetect == CAMERA_DETECT_MOTION) {
                AbsoluteChange(m_handOver.Latest(), m_handOver.Previous(), m_pMotion.get(),
                               static_cast<size_t>(W) * static_cast<size_t>(H));
                pRanked = m_pMotion.get();
            }
            RankAndOutline(pRanked, W, H);
            m_osc.Ranking(static_cast<uint32_t>(m_handOver.LatestNumber()), m_chosenCells,
                          m_nGridCols);
        }
        m_nTickCount += 3;
    }
    if (!bLive) EndCameraDetection();
}

// The grey picture of the red channel, cut to the preview area as the
// camera's own preview is.
void CShowWaveDlg::ShowCameraPicture(IDeviceContext& dc) {
    const int W = m_handOver.Width();
    const int H = m_handOver.Height();
    const int w = std::min(W, CAPTURE_WINDOW_WIDTH);
    const int h = std::min(H, CAPTURE_WINDOW_HEIGHT);
    FlipToView(m_handOver.Latest(), m_pGrayView.get(), W, H, 1);
    // The source's rows count from the bitmap's bottom: the top h rows.
    dc.StretchDIBits(m_nPicLeft, m_nPicTop, w, h, 0, H - h, w, h, m_pGrayView.get(),
                     m_pGrayBmi.get(), DIB_RGB_COLORS, SRCCOPY);
}

// The camera has failed: the last picture stays, nothing more is ranked.
void CShowWaveDlg::EndCameraDetection() {
    m_pWnd->StopTimer(TIMER_FRAME);
    m_osc.ShowEnd();
}
