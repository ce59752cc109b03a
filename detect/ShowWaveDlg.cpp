#include "detect/ShowWaveDlg.h"

#include <cstdio>
#include <new>

#include "detect/DetectLauncher.h"
#include "platform/DeviceContext.h"
#include "sound/WavePaths.h"
#include "video/FrameRate.h"

bool g_bDetectShowOpen = false;
CShowWaveDlg* g_pDetectShow = nullptr;
std::atomic<CShowWaveDlg*> g_pCaptureTarget{nullptr};

namespace {

constexpr double CLIP_SEGMENT_END_SEC = 51.0;

constexpr COLORREF NUMBER_TEXT_COLOR = RGB(200, 200, 255);

COLORREF OutlineColor(int i) {
    switch (i) {
        case 0:
            return RGB(255, 200, 200);
        case 1:
            return RGB(200, 255, 200);
        default:
            return RGB(200, 200, 255);
    }
}

std::unique_ptr<uint8_t[]> ZeroedBuffer(size_t bytes) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes]());
}

}  // namespace

CShowWaveDlg::CShowWaveDlg(const IDetectLauncher* pOwner, IPassDriver* pPassDriver)
    : m_pOwner(pOwner), m_soundBank(pPassDriver) {}

CShowWaveDlg::~CShowWaveDlg() {
    // Deleted while its window still stands: take the window down without
    // letting PostNcDestroy delete us a second time.
    if (m_pWnd) {
        m_bDeleting = true;
        m_pWnd->Destroy();
    }
}

bool CShowWaveDlg::Create() { return platform::ShowWindows().Create(*this) != nullptr; }

void CShowWaveDlg::OnAttach(IShowWindow* pWnd) { m_pWnd = pWnd; }

int CShowWaveDlg::OnInitDialog() {
    WindowRect rect = m_pWnd->GetNormalRect();
    rect.left = 0;
    rect.top = 0;
    rect.right = DETECT_SCREEN_WIDTH;
    rect.bottom = DETECT_SCREEN_HEIGHT;
    m_pWnd->SetNormalRect(rect);

    const int nDriver = m_pOwner ? m_pOwner->GetCaptureDriver() : -1;
    m_bUseCamera = m_pOwner && m_pOwner->GetUseCamera() ? 1 : 0;
    m_bRepeat = m_pOwner && m_pOwner->GetRepeat();
    const int nDetect = m_bUseCamera && m_pOwner ? m_pOwner->GetCameraDetect() : CAMERA_DETECT_OFF;
    m_nCameraDetect = nDetect == CAMERA_DETECT_LEVEL || nDetect == CAMERA_DETECT_MOTION
                          ? nDetect
                          : CAMERA_DETECT_OFF;

    int W = 0;
    int H = 0;
    if (m_bUseCamera && !StartCamera(nDriver, W, H)) {
        // The window is gone and this object with it.
        return 0;
    }

    m_nGridRows = 3;
    m_nGridCols = 7;

    const int nWaves = m_pOwner ? m_pOwner->GetWaveCount() : 0;
    CWavePaths wavePaths(nWaves > 0 ? m_pOwner->GetWaveFolder() : std::string());
    for (int i = 0; i < nWaves; ++i)
        m_soundBank.AddWave(wavePaths.PathOf(m_pOwner->GetWaveName(i)).c_str());
    if (const std::string note = wavePaths.Note(); !note.empty())
        std::fprintf(stderr, "detection window: %s\n", note.c_str());

    if (!m_bUseCamera && !OpenClip(W, H)) {
        CloseShow();
        return 0;
    }

    if (!AllocateViews(W, H)) {
        std::fprintf(stderr, "detection window: no memory for %d x %d frame buffers\n", W, H);
        CloseShow();
        return 0;
    }

    m_nTickCount = 0;
    if (m_nCameraDetect) {
        // The live picture lies at the preview area's top-left.
        m_nPicLeft = 0;
        m_nPicTop = 0;
    } else {
        m_nPicLeft = (DETECT_SCREEN_WIDTH - W) / 2;
        m_nPicTop = (DETECT_SCREEN_HEIGHT - H) / 2;
    }
    m_nCurCell = 0;

    // Without detection a camera's frame ticks would do nothing.
    if (!m_bUseCamera || m_nCameraDetect) m_pWnd->StartTimer(TIMER_FRAME, m_nFramePeriod);
    return 1;
}

bool CShowWaveDlg::OpenClip(int& W, int& H) {
    m_strClipPath = m_pOwner ? m_pOwner->GetAviPath() : std::string();
    const double dFramesPerSec = m_avi.Open(m_strClipPath.c_str());
    if (!IsPlayableFrameRate(dFramesPerSec)) {
        if (dFramesPerSec == 0.0) {
            std::fprintf(stderr, "detection window: cannot play clip \"%s\"\n",
                         m_strClipPath.c_str());
        } else {
            std::fprintf(stderr,
                         "detection window: clip \"%s\" runs at %g frames per second, "
                         "outside 1 to 1000\n",
                         m_strClipPath.c_str(), dFramesPerSec);
        }
        return false;
    }
    m_nFramePeriod = FramePeriodMs(dFramesPerSec);

    m_avi.GetFrameSize(W, H);
    if (W <= 0 || H <= 0) {
        std::fprintf(stderr, "detection window: clip \"%s\" has no picture (%d x %d)\n",
                     m_strClipPath.c_str(), W, H);
        return false;
    }
    m_avi.SetSegment(0, "Full Stage", 0.0, CLIP_SEGMENT_END_SEC);
    m_osc.ShowStart(m_strClipPath, W, H, dFramesPerSec);
    return true;
}

bool CShowWaveDlg::StartCamera(int nDriver, int& W, int& H) {
    ICapture& capture = platform::Capture();
    // With detection on the window paints the picture itself, so that the
    // outlines lie over it; the capture window's own view stays hidden.
    const uint32_t dwStyle = m_nCameraDetect ? WS_CHILD : WS_CHILD | WS_VISIBLE;
    m_hCapture = capture.CreateCaptureWindow("Capture Window", dwStyle, 0, 0, CAPTURE_WINDOW_WIDTH,
                                             CAPTURE_WINDOW_HEIGHT, m_pWnd, 0);
    // Each request goes to a window that still stands; otherwise it counts as 0.
    const auto send = [&](auto request) { return capture.IsWindow(m_hCapture) ? request() : 0; };

    if (!send([&] { return capture.DriverConnect(m_hCapture, nDriver); })) {
        if (!m_hCapture) {
            std::fprintf(stderr, "detection window: cannot make the camera's capture window\n");
        } else {
            std::fprintf(stderr,
                         "detection window: camera %d does not connect (none there, or another "
                         "program is using it)\n",
                         nDriver);
        }
        GiveUpCamera();
        return false;
    }
    send([&] { return capture.SetScale(m_hCapture, 0); });
    send([&] { return capture.SetPreviewRate(m_hCapture, CAPTURE_PREVIEW_RATE_MS); });
    BITMAPINFO format{};
    send([&] { return capture.GetVideoFormat(m_hCapture, &format, sizeof(format)); });
    format.bmiHeader.biCompression = BI_RGB;
    if (!send([&] { return capture.SetVideoFormat(m_hCapture, &format, sizeof(format)); }) ||
        format.bmiHeader.biWidth <= 0 || format.bmiHeader.biHeight <= 0) {
        std::fprintf(stderr, "detection window: camera %d cannot deliver uncompressed frames\n",
                     nDriver);
        GiveUpCamera();
        return false;
    }
    W = format.bmiHeader.biWidth;
    H = format.bmiHeader.biHeight;
    if (m_nCameraDetect && !m_handOver.Allocate(W, H)) {
        std::fprintf(stderr, "detection window: no memory for %d x %d camera frames\n", W, H);
        GiveUpCamera();
        return false;
    }
    send([&] { return capture.SetCallbackOnFrame(m_hCapture, CaptureFrameCallback); });
    g_pCaptureTarget.store(this);
    send([&] { return capture.SetPreview(m_hCapture, 1); });
    if (m_nCameraDetect) StartCameraDetection(nDriver, W, H);
    return true;
}

// Both windows go; nothing has been loaded or allocated yet.
void CShowWaveDlg::GiveUpCamera() {
    CloseCapture();
    m_pWnd->Destroy();
}

void CShowWaveDlg::CloseCapture() {
    if (m_hCapture) platform::Capture().DestroyWindow(m_hCapture);
    m_hCapture = nullptr;
    // No frame is on its way any more: the capture thread has ended.
    CShowWaveDlg* pSelf = this;
    g_pCaptureTarget.compare_exchange_strong(pSelf, nullptr);
}

void CShowWaveDlg::OnCameraFrame(const uint8_t* pData, size_t nBytes) {
    // Ignored unless detection made room for the frames.
    m_handOver.Publish(pData, nBytes);
    // Counted once handed over, so that a frame counted can be taken.
    m_nCameraFrames.fetch_add(1, std::memory_order_release);
}

intptr_t CaptureFrameCallback(HCAPWND hWnd, VIDEOHDR* pHdr) {
    CShowWaveDlg* pTarget = g_pCaptureTarget.load();
    if (hWnd && pHdr && pHdr->lpData && pTarget)
        pTarget->OnCameraFrame(pHdr->lpData, pHdr->dwBytesUsed);
    return 1;
}

bool CShowWaveDlg::AllocateViews(int W, int H) {
    const size_t nPixels = static_cast<size_t>(W) * static_cast<size_t>(H);

    m_pColorView = ZeroedBuffer(3 * nPixels);
    m_pColorBmi = MakeBitmapInfo(W, H, 3);

    m_pChannel = ZeroedBuffer(nPixels);
    m_pGrayView = ZeroedBuffer(nPixels);
    m_pGrayBmi = MakeBitmapInfo(W, H, 1);

    m_nCellWidth = W / m_nGridCols;
    m_nCellWidth -= m_nCellWidth % 4;
    m_nCellHeight = H / m_nGridRows;

    m_pCellView = ZeroedBuffer(nPixels);
    m_pCellBmi = MakeBitmapInfo(m_nCellWidth, m_nCellHeight, 1);

    if (m_nCameraDetect == CAMERA_DETECT_MOTION) m_pMotion = ZeroedBuffer(nPixels);

    return m_pColorView && m_pColorBmi && m_pChannel && m_pGrayView && m_pGrayBmi && m_pCellView &&
           m_pCellBmi && (m_pMotion || m_nCameraDetect != CAMERA_DETECT_MOTION);
}

void CShowWaveDlg::OnTimer(uintptr_t nIDEvent) {
    if (nIDEvent == TIMER_FRAME) {
        if (!m_bUseCamera)
            FrameTick();
        else if (m_nCameraDetect)
            CameraTick();
    } else if (nIDEvent == TIMER_PLAY) {
        PlayTick();
    }
}

void CShowWaveDlg::FrameTick() {
    IDeviceContext& dc = m_pWnd->GetDC();
    int nDrawn = m_avi.DrawFrame(0, &dc, m_nPicLeft, m_nPicTop);
    if (nDrawn < 0 && m_bRepeat) {
        // Again from the first frame in this very tick, the ranking schedule
        // as a fresh show has it.
        m_avi.ResetSegment(0);
        m_nTickCount = 0;
        ++m_nRepeats;
        nDrawn = m_avi.DrawFrame(0, &dc, m_nPicLeft, m_nPicTop);
    }
    if (nDrawn < 0) {
        // The last picture stays; nothing restarts the clip.
        m_pWnd->StopTimer(TIMER_FRAME);
        m_avi.ResetSegment(0);
        m_osc.ShowEnd();
        return;
    }
    m_osc.FrameDrawn();

    const int W = m_avi.GetWidth();
    const int H = m_avi.GetHeight();
    const bool bRank = m_nTickCount > static_cast<int32_t>(RANKING_INTERVAL_MS / m_nFramePeriod);
    if (dc.Shows()) {
        m_avi.GetFrameChannel(m_pChannel.get(), 0);
        ShowImage(&dc, m_pChannel.get(), m_nPicLeft, m_nPicTop, W, H, VIEW_GRAY);
    } else {
        UpdateUnseenChannel(bRank);
    }

    if (bRank) {
        RankAndOutline(m_pChannel.get(), W, H);
        m_osc.Ranking(m_avi.Segment(0).dwCursor, m_chosenCells, m_nGridCols);
    }
    m_nTickCount += 3;
}

// Nobody sees the grey picture, so only a ranking needs the channel. The
// frames between are still read, and the one the channel would hold is
// noted: a ranking whose own frame cannot be delivered ranks that one, as
// it would have on a screen.
void CShowWaveDlg::UpdateUnseenChannel(bool bRank) {
    const bool bReached = m_avi.ReachFrame(0);
    if (bReached) m_nUnseenChannelFrame = m_avi.Segment(0).dwCursor;
    if (!bRank || m_nUnseenChannelFrame < 0) return;
    if (bReached)
        m_avi.GetFrameChannel(m_pChannel.get(), 0);
    else
        m_avi.GetChannelOfFrame(m_pChannel.get(), static_cast<uint32_t>(m_nUnseenChannelFrame));
    m_nUnseenChannelFrame = -1;
}

void CShowWaveDlg::PlayTick() {
    IDeviceContext& dc = m_pWnd->GetDC();
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(NUMBER_TEXT_COLOR);

    Font font;
    font.nHeight = 2;
    font.nWidth = 1;
    font.nCharSet = DEFAULT_CHARSET;
    font.strFace = "바탕체";
    const Font oldFont = dc.SelectFont(font);

    for (const CellScore& cell : m_chosenCells) {
        // A rectangle with no width: draws nothing, kept for its place in
        // the drawing order.
        dc.Rectangle(0, 80, 0, 0);
        m_nCurCell = cell.nRow * m_nGridCols + cell.nCol;
        // A refused number (no clip loaded for it) is still written.
        m_soundBank.Play(static_cast<uint32_t>(m_nCurCell));
        dc.TextOut(0, 0, std::to_string(m_nCurCell));
    }

    dc.SelectFont(oldFont);
    m_pWnd->StopTimer(TIMER_PLAY);
}

void CShowWaveDlg::RankAndOutline(const uint8_t* pImage, int W, int H) {
    for (CellScore& cell : m_chosenCells) cell = CellScore{};
    RankCells(pImage, W, H, m_nGridRows, m_nGridCols, m_chosenCells);
    m_pWnd->StartTimer(TIMER_PLAY, m_nFramePeriod);
    m_nTickCount = 0;
    for (int i = 0; i < 3; ++i) {
        DrawCellOutline(m_nCellWidth * m_chosenCells[i].nCol + m_nPicLeft,
                        m_nCellHeight * m_chosenCells[i].nRow + m_nPicTop, m_nCellWidth,
                        m_nCellHeight, i);
    }
}

void CShowWaveDlg::DrawCellOutline(int x, int y, int w, int h, int i) {
    IDeviceContext& dc = m_pWnd->GetDC();
    Pen pen;
    pen.nStyle = PS_SOLID;
    pen.nWidth = 2;
    pen.crColor = OutlineColor(i);
    const Pen oldPen = dc.SelectPen(pen);
    dc.MoveTo(x, y);
    dc.LineTo(x, y + h);
    dc.LineTo(x + w, y + h);
    dc.LineTo(x + w, y);
    dc.LineTo(x, y);
    dc.SelectPen(oldPen);
}

void CShowWaveDlg::OnRButtonDown(unsigned /*nFlags*/, int /*x*/, int /*y*/) {
    m_pWnd->StopTimer(TIMER_FRAME);
    CloseShow();
    // This object is gone now.
}

void CShowWaveDlg::CloseShow() {
    g_bDetectShowOpen = false;
    m_pCellBmi.reset();
    m_pCellView.reset();
    m_pGrayBmi.reset();
    m_pGrayView.reset();
    m_pChannel.reset();
    m_pColorBmi.reset();
    m_pColorView.reset();
    m_pMotion.reset();
    if (m_pWnd) m_pWnd->Destroy();
}

void CShowWaveDlg::PostNcDestroy() {
    CloseCapture();
    m_osc.ShowEnd();
    m_pWnd = nullptr;
    if (g_pDetectShow == this) g_pDetectShow = nullptr;
    // Only one sound bank may exist at a time, so the object, its bank and
    // clip reader go with the window, before the launcher makes the next.
    if (!m_bDeleting) delete this;
}

AccessibleText CShowWaveDlg::Accessible() const {
    return {"Detection show",
            "The clip or the camera full-screen; the sounds of its brightest, middle and "
            "darkest grid cells play as it runs; a right click closes the show"};
}
