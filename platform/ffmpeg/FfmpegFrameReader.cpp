#include "platform/ffmpeg/FfmpegFrameReader.h"

#include <cstring>
#include <system_error>

#include "platform/BitmapInfo.h"

namespace {

// A caller asking for the frame being read ahead sooner than this after the
// work began gains less from it than the two thread wake-ups cost...
constexpr std::chrono::microseconds kFlatOut{200};
// ...and reads this many frames without reading ahead.
constexpr int kAheadRest = 16;

}  // namespace

std::unique_ptr<FfmpegFrameReader> FfmpegFrameReader::Create(const FfmpegStreamDesc& desc) {
    if (desc.fccType != streamtypeVIDEO || desc.nWidth <= 0 || desc.nHeight <= 0 ||
        desc.dwRate == 0 || desc.dwScale == 0)
        return nullptr;
    // Frames too large to hold: refused before anything frame-sized is allocated.
    const auto width = static_cast<uint64_t>(desc.nWidth);
    const auto height = static_cast<uint64_t>(desc.nHeight);
    if (width > VIDEO_MAX_FRAME_SIDE || height > VIDEO_MAX_FRAME_SIDE ||
        width * 3 * height > VIDEO_MAX_FRAME_BYTES)
        return nullptr;
    std::unique_ptr<FfmpegDecoder> decoder = FfmpegDecoder::Open(desc);
    if (!decoder) return nullptr;
    return std::unique_ptr<FfmpegFrameReader>(new FfmpegFrameReader(desc, std::move(decoder)));
}

FfmpegFrameReader::FfmpegFrameReader(const FfmpegStreamDesc& desc,
                                     std::unique_ptr<FfmpegDecoder> decoder)
    : m_desc(desc), m_pDecoder(std::move(decoder)), m_converter(desc.nWidth, desc.nHeight) {
    const size_t pixels = static_cast<size_t>(desc.nWidth) * 3 * desc.nHeight;
    m_output.resize(sizeof(BITMAPINFOHEADER) + pixels + FfmpegFrameConverter::OUTPUT_SLACK);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = desc.nWidth;
    header.biHeight = desc.nHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<uint32_t>(pixels);
    std::memcpy(m_output.data(), &header, sizeof header);
    m_ahead = m_output;
}

FfmpegFrameReader::~FfmpegFrameReader() {
    if (!m_worker.joinable()) return;
    m_cancel.store(true, std::memory_order_relaxed);
    {
        std::lock_guard lock(m_aheadMutex);
        m_stop = true;
    }
    m_aheadWake.notify_one();
    m_worker.join();
}

const uint8_t* FfmpegFrameReader::GetFrame(uint32_t frame) {
    if (frame >= m_desc.dwLength) return nullptr;
    const int64_t n = frame;
    if (n == m_outputNumber) return m_output.data();
    const bool sequential = n == m_lastFetched + 1;
    m_lastFetched = n;

    Reached reached = Reached::Cancelled;
    if (m_aheadInFlight) {
        const bool wanted = n == m_aheadFrame;
        const bool early = std::chrono::steady_clock::now() - m_aheadStarted < kFlatOut;
        reached = FinishAhead(!wanted);
        // Done ahead, the frame only needs the buffers swapped.
        if (wanted && reached == Reached::Exact) m_output.swap(m_ahead);
        // Asked for next right away (or before the worker even began): the
        // caller reads flat out, and handing frames over only costs it.
        if (wanted && (early || reached == Reached::Cancelled)) m_aheadRest = kAheadRest;
    }
    if (reached == Reached::Cancelled) {
        // A damaged or cut file may hold fewer pictures than its header says.
        if (!m_pDecoder->Usable() || m_pDecoder->Missing(n)) return nullptr;
        m_outputNumber = -1;
        reached = Produce(n, m_output);
    }
    if (reached != Reached::Exact) {
        m_outputNumber = -1;
        return nullptr;
    }
    m_outputNumber = n;
    if (m_aheadRest > 0)
        --m_aheadRest;
    else if (sequential && n + 1 < m_desc.dwLength && !m_pDecoder->Missing(n + 1) &&
             m_pDecoder->Usable())
        StartAhead(n + 1);
    return m_output.data();
}

FfmpegFrameReader::Reached FfmpegFrameReader::Produce(int64_t frame, std::vector<uint8_t>& bitmap) {
    const Reached reached = m_pDecoder->Fetch(frame, m_cancel);
    if (reached != Reached::Exact) return reached;
    const bool converted =
        m_converter.Convert(m_pDecoder->Picture(), bitmap.data() + sizeof(BITMAPINFOHEADER));
    return converted ? Reached::Exact : Reached::End;
}

void FfmpegFrameReader::StartAhead(int64_t frame) {
    {
        std::lock_guard lock(m_aheadMutex);
        m_aheadFrame = frame;
        m_aheadState = Ahead::Queued;
    }
    m_aheadInFlight = true;
    m_aheadStarted = std::chrono::steady_clock::now();
    if (m_worker.joinable()) {
        m_aheadWake.notify_one();
        return;
    }
    try {
        m_worker = std::thread(&FfmpegFrameReader::AheadLoop, this);
    } catch (const std::system_error&) {
        // No thread to be had: the caller does all the work, as it can.
        m_aheadInFlight = false;
        m_aheadState = Ahead::Idle;
    }
}

// Waits until the worker has let go of the decoder and returns what its job
// reached; Cancelled when the caller must fetch for itself. A job not yet
// begun is taken back: asked for right away, as in reading flat out, the
// caller does the work sooner than a waking worker would. With `cancel`, a
// job under way stops at its next picture and its result is dropped.
FfmpegFrameReader::Reached FfmpegFrameReader::FinishAhead(bool cancel) {
    std::unique_lock lock(m_aheadMutex);
    m_aheadInFlight = false;
    if (m_aheadState == Ahead::Queued) {
        m_aheadState = Ahead::Idle;
        return Reached::Cancelled;
    }
    if (cancel) m_cancel.store(true, std::memory_order_relaxed);
    m_aheadDone.wait(lock, [this] { return m_aheadState == Ahead::Done; });
    m_cancel.store(false, std::memory_order_relaxed);
    m_aheadState = Ahead::Idle;
    return cancel ? Reached::Cancelled : m_aheadReached;
}

void FfmpegFrameReader::AheadLoop() {
    std::unique_lock lock(m_aheadMutex);
    for (;;) {
        m_aheadWake.wait(lock, [this] { return m_stop || m_aheadState == Ahead::Queued; });
        if (m_stop) return;
        m_aheadState = Ahead::Running;
        const int64_t frame = m_aheadFrame;
        lock.unlock();
        const Reached reached = Produce(frame, m_ahead);
        lock.lock();
        m_aheadReached = reached;
        m_aheadState = Ahead::Done;
        m_aheadDone.notify_one();
    }
}
