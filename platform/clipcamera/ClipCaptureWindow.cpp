#include "platform/clipcamera/ClipCaptureWindow.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// The rates the detection window plays clips at.
constexpr double MIN_FRAMES_PER_SEC = 1.0;
constexpr double MAX_FRAMES_PER_SEC = 1000.0;

}  // namespace

ClipCaptureWindow::ClipCaptureWindow(IVideoFiles& files, std::string strPath, std::string strName,
                                     IFrameView* pView, bool bShown, HCAPWND hWnd)
    : m_files(files),
      m_strPath(std::move(strPath)),
      m_strName(std::move(strName)),
      m_delivery(hWnd, pView, bShown) {}

ClipCaptureWindow::~ClipCaptureWindow() { Disconnect(); }

bool ClipCaptureWindow::Connect(int nDriver) {
    if (nDriver != 0) return false;
    Disconnect();
    const auto refuse = [&](const char* pszWhy) {
        std::fprintf(stderr, "%s: %s %s; it does not connect\n", m_strName.c_str(),
                     m_strPath.c_str(), pszWhy);
        Disconnect();
        return false;
    };

    m_pFile = m_files.Open(m_strPath.c_str());
    if (!m_pFile) return refuse("is not an AVI clip that can be read");
    const VideoFileInfo info = m_pFile->Info();
    // The last video stream, as the detection window's clip reader takes it.
    VideoStreamInfo streamInfo;
    for (uint32_t n = 0; n < info.dwStreams; ++n) {
        std::unique_ptr<IVideoStream> pStream = m_pFile->GetStream(n);
        if (!pStream || pStream->Info().fccType != streamtypeVIDEO) continue;
        streamInfo = pStream->Info();
        m_pStream = std::move(pStream);
    }
    if (!m_pStream) return refuse("has no video stream");
    m_pReader = m_pStream->OpenFrameReader();
    if (!m_pReader) return refuse("has video that cannot be decoded or is too large");

    const uint8_t* pFirst = m_pReader->GetFrame(0);
    BITMAPINFOHEADER header{};
    if (pFirst) std::memcpy(&header, pFirst, sizeof header);
    if (!pFirst || header.biBitCount != 24 || header.biWidth <= 0 || header.biHeight <= 0 ||
        streamInfo.dwLength == 0)
        return refuse("has no first picture");
    const double dFramesPerSec = info.dwScale ? info.dwRate * 1.0 / info.dwScale : 0.0;
    if (!(dFramesPerSec >= MIN_FRAMES_PER_SEC && dFramesPerSec < MAX_FRAMES_PER_SEC + 1.0))
        return refuse("has a frame rate outside 1 to 1000 per second");

    m_nWidth = header.biWidth;
    m_nHeight = header.biHeight;
    m_nFrames = streamInfo.dwLength;
    m_nIntervalUs = static_cast<uint32_t>(uint64_t{1000000} * info.dwScale / info.dwRate);
    return true;
}

void ClipCaptureWindow::Disconnect() {
    StopPreview();
    m_pReader.reset();
    m_pStream.reset();
    m_pFile.reset();
    m_nWidth = m_nHeight = 0;
}

bool ClipCaptureWindow::GetFormat(BITMAPINFOHEADER& header) {
    if (!m_pReader) return false;
    header = BITMAPINFOHEADER{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = m_nWidth;
    header.biHeight = m_nHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage =
        static_cast<uint32_t>(PackedRowBytes(m_nWidth, 24)) * static_cast<uint32_t>(m_nHeight);
    return true;
}

bool ClipCaptureWindow::SetFormat(const BITMAPINFOHEADER& header) {
    const int64_t nHeight = header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight;
    return m_pReader && !m_thread.joinable() && header.biCompression == BI_RGB &&
           header.biWidth == m_nWidth && nHeight == m_nHeight;
}

bool ClipCaptureWindow::SetPreview(bool bPreview) {
    if (!bPreview) {
        StopPreview();
        return true;
    }
    if (!m_pReader) return false;
    if (m_thread.joinable()) {
        if (!m_bFailed.load()) return true;
        StopPreview();  // ended by a failure: start afresh
    }
    m_frame.assign(static_cast<size_t>(PackedRowBytes(m_nWidth, 24)) * m_nHeight, 0);
    m_bStop = false;
    m_bFailed.store(false);
    m_thread = std::thread(&ClipCaptureWindow::Run, this);
    return true;
}

void ClipCaptureWindow::StopPreview() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

void ClipCaptureWindow::ForgetView() {
    StopPreview();
    m_delivery.ForgetView();
}

void ClipCaptureWindow::Run() {
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::microseconds(m_nIntervalUs);
    const Clock::time_point start = Clock::now();
    Clock::time_point due = start;
    uint32_t nFrame = 0;
    uint32_t nMissed = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_cv.wait_until(lock, due, [this] { return m_bStop; })) return;
        }
        const uint8_t* p = m_pReader->GetFrame(nFrame);
        BITMAPINFOHEADER header{};
        if (p) std::memcpy(&header, p, sizeof header);
        // A frame the reader cannot deliver, or of another size, is skipped.
        if (p && header.biSize >= sizeof header && header.biBitCount == 24 &&
            header.biWidth == m_nWidth && header.biHeight == m_nHeight) {
            nMissed = 0;
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
            Deliver(p + header.biSize, static_cast<uint32_t>(elapsed.count()));
        } else if (++nMissed >= m_nFrames) {
            std::fprintf(stderr, "%s delivers no frames; the preview stops\n", m_strName.c_str());
            m_bFailed.store(true);
            return;
        }
        nFrame = nFrame + 1 < m_nFrames ? nFrame + 1 : 0;
        due += interval;
        // More than a frame behind: the pace starts again rather than
        // catching up in a burst.
        const Clock::time_point now = Clock::now();
        if (due + interval < now) due = now;
    }
}

void ClipCaptureWindow::Deliver(const uint8_t* pPixels, uint32_t nTimeMs) {
    std::memcpy(m_frame.data(), pPixels, m_frame.size());
    m_delivery.Deliver(m_frame, m_nWidth, m_nHeight, nTimeMs);
}
