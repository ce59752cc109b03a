#include "platform/ffmpeg/FfmpegFrameReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/BitmapInfo.h"
#include "platform/ffmpeg/FfmpegWorkerCore.h"

namespace {

// Frames in a row that decide who converts: the caller after this many it
// had to wait for, the thread again after this many found ready.
constexpr int kOutpacedToDecode = 2;
constexpr int kKeptUpToFetch = 4;
constexpr auto kLeaveCoreEvery = std::chrono::milliseconds(10);

}  // namespace

std::unique_ptr<FfmpegFrameReader> FfmpegFrameReader::Create(
    const FfmpegStreamDesc& clip, FrameReaderUse use, std::shared_ptr<FfmpegAheadWorker> pShared) {
    FfmpegStreamDesc desc = clip;
    // Large pictures take the decoder more than a frame period on one core;
    // a reader that plays alone lets the decoder work on two frames at once.
    // Several readers at once keep to one thread each, and so does a reader
    // that never waits for a clock.
    desc.bDecoderThreads = use == FrameReaderUse::Alone && desc.bReadAhead &&
                           int64_t{desc.nWidth} * desc.nHeight >= int64_t{1280} * 720;
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
    return std::unique_ptr<FfmpegFrameReader>(
        new FfmpegFrameReader(desc, std::move(decoder), std::move(pShared)));
}

FfmpegFrameReader::FfmpegFrameReader(const FfmpegStreamDesc& desc,
                                     std::unique_ptr<FfmpegDecoder> decoder,
                                     std::shared_ptr<FfmpegAheadWorker> pShared)
    : m_desc(desc),
      m_pDecoder(std::move(decoder)),
      m_converter(desc.nWidth, desc.nHeight),
      m_aheadPicture(av_frame_alloc()),
      m_picture(av_frame_alloc()) {
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
    m_pShared = std::move(pShared);
    m_keys = m_pDecoder->KeyChunks();
    m_bReordersAtOpen = m_pDecoder->Reorders();
}

uint32_t FfmpegFrameReader::JumpCost(uint32_t frame) const {
    if (frame >= m_desc.dwLength || m_keys.empty()) return 0;
    const int64_t n = frame;
    // A jump starts at the keyframe at or before the frame, or at the one
    // before that when pictures are reordered; without one, at the start.
    auto key = std::upper_bound(m_keys.begin(), m_keys.end(), n);
    int64_t land = 0;
    if (key != m_keys.begin()) {
        --key;
        land = *key;
        if (m_bReordersAtOpen && land > 0) land = key != m_keys.begin() ? *(key - 1) : 0;
    }
    return static_cast<uint32_t>(std::min<int64_t>(n - land + 1, UINT32_MAX));
}

FfmpegFrameReader::~FfmpegFrameReader() {
    if (m_pShared) {
        m_cancel.store(true, std::memory_order_relaxed);
        m_pShared->Withdraw(this);
        return;
    }
    if (!m_worker.joinable()) return;
    m_cancel.store(true, std::memory_order_relaxed);
    {
        std::lock_guard lock(m_aheadMutex);
        m_stop = true;
    }
    m_aheadWake.notify_one();
    m_worker.join();
}

bool FfmpegFrameReader::ReachFrame(uint32_t frame) {
    if (m_desc.bReadAhead) return GetFrame(frame) != nullptr;
    if (frame >= m_desc.dwLength) return false;
    const int64_t n = frame;
    if (n == m_outputNumber || n == m_reachedNumber) return true;
    m_lastFetched = n;
    m_reachedNumber = -1;
    if (!m_pDecoder->Usable() || m_pDecoder->Missing(n) ||
        m_pDecoder->Fetch(n, m_cancel) != Reached::Exact)
        return false;
    m_reachedNumber = n;
    return true;
}

const uint8_t* FfmpegFrameReader::GetFrame(uint32_t frame) {
    if (frame >= m_desc.dwLength) return nullptr;
    const int64_t n = frame;
    if (n == m_outputNumber) return m_output.data();
    const bool sequential = n == m_lastFetched + 1;
    m_lastFetched = n;
    // Reached last, so the decoder still holds its picture.
    if (std::exchange(m_reachedNumber, -1) == n) {
        m_outputNumber = -1;
        if (!Convert(m_pDecoder->Picture(), m_output)) return nullptr;
        m_outputNumber = n;
        return m_output.data();
    }

    // Taking turns: the thread fetches n + 1 on the second decoder meanwhile.
    // Found done already, it has time to spare: a few in a row, and it goes
    // back to reading one frame ahead alone.
    if (m_aheadInFlight && m_aheadJob == Job::Second && sequential && n + 1 == m_aheadFrame) {
        bool bDone;
        {
            std::lock_guard lock(m_aheadMutex);
            bDone = m_aheadState == Ahead::Done;
        }
        m_nKeptUp = bDone ? m_nKeptUp + 1 : 0;
        if (m_nKeptUp >= kKeptUpToFetch) m_nextJob = Job::Fetch;
        m_bServedAhead = false;
        m_outputNumber = -1;
        if (!m_pDecoder->Usable() || m_pDecoder->Missing(n) ||
            Produce(*m_pDecoder, m_converter, n, m_output) != Reached::Exact)
            return nullptr;
        m_outputNumber = n;
        return m_output.data();
    }

    Reached reached = Reached::Cancelled;
    bool bDecoded = false;  // m_picture holds n, still to be converted
    m_bServedAhead = false;
    if (m_aheadInFlight) {
        const bool wanted = n == m_aheadFrame;
        bool waited = false;
        reached = FinishAhead(!wanted, waited);
        m_bServedAhead = wanted && reached == Reached::Exact;
        if (wanted && reached == Reached::Exact) {
            if (m_aheadJob != Job::Decode) {
                m_output.swap(m_ahead);
            } else {
                av_frame_unref(m_picture.get());
                av_frame_move_ref(m_picture.get(), m_aheadPicture.get());
                bDecoded = true;
            }
        }
        // Waited for, or asked for before the thread even began: the caller
        // outpaces the thread, and converting on its own side lets the
        // thread decode on meanwhile. Found ready: the thread has time to
        // convert too. A few in a row decide, so that a stray late frame
        // or a burst of other load does not swap the work about.
        if (wanted && m_aheadJob != Job::Second) {
            const bool bOutpaced = waited || reached == Reached::Cancelled;
            m_nOutpaced = bOutpaced ? m_nOutpaced + 1 : 0;
            m_nKeptUp = bOutpaced ? 0 : m_nKeptUp + 1;
            if (m_nOutpaced >= kOutpacedToDecode)
                m_nextJob = CanTakeTurns() ? Job::Second : Job::Decode;
            if (m_nKeptUp >= kKeptUpToFetch) m_nextJob = Job::Fetch;
        }
    }
    if (reached == Reached::Cancelled) {
        // A damaged or cut file may hold fewer pictures than its header says.
        if (!m_pDecoder->Usable() || m_pDecoder->Missing(n)) return nullptr;
        m_outputNumber = -1;
        if (sequential && m_nextJob == Job::Decode && m_picture) {
            // Converted below, once the thread is decoding the next frame.
            reached = m_pDecoder->Fetch(n, m_cancel);
            bDecoded = reached == Reached::Exact;
            av_frame_unref(m_picture.get());
            if (bDecoded && av_frame_ref(m_picture.get(), m_pDecoder->Picture()) < 0) {
                bDecoded = false;
                reached = Convert(m_pDecoder->Picture(), m_output) ? Reached::Exact : Reached::End;
            }
        } else {
            reached = Produce(*m_pDecoder, m_converter, n, m_output);
        }
    }
    if (reached != Reached::Exact) {
        m_outputNumber = -1;
        return nullptr;
    }

    const bool bAhead = m_desc.bReadAhead && sequential && n + 1 < m_desc.dwLength &&
                        !m_pDecoder->Missing(n + 1) && m_pDecoder->Usable();
    if (bDecoded) {
        // The thread decodes n + 1 while this one converts n.
        if (bAhead && m_nextJob == Job::Decode) StartAhead(n + 1, Job::Decode);
        // The picture is let go only once the thread is done again, so that
        // the last reference to its buffers is always dropped here.
        const bool converted = Convert(m_picture.get(), m_output);
        if (!converted) {
            m_outputNumber = -1;
            return nullptr;
        }
        if (bAhead && m_nextJob != Job::Decode) StartNext(n);
    } else if (bAhead) {
        StartNext(n);
    }
    m_outputNumber = n;
    return m_output.data();
}

bool FfmpegFrameReader::Convert(const AVFrame* picture, std::vector<uint8_t>& bitmap) {
    return m_converter.Convert(picture, bitmap.data() + sizeof(BITMAPINFOHEADER));
}

FfmpegFrameReader::Reached FfmpegFrameReader::Produce(FfmpegDecoder& decoder,
                                                      FfmpegFrameConverter& converter,
                                                      int64_t frame, std::vector<uint8_t>& bitmap) {
    const Reached reached = decoder.Fetch(frame, m_cancel);
    if (reached != Reached::Exact) return reached;
    return converter.Convert(decoder.Picture(), bitmap.data() + sizeof(BITMAPINFOHEADER))
               ? Reached::Exact
               : Reached::End;
}

bool FfmpegFrameReader::CanTakeTurns() {
    // A reader of several keeps to the worker it shares.
    if (m_pShared || !m_pDecoder->IntraOnly()) return false;
    if (!m_bSecondTried) {
        m_bSecondTried = true;
        m_pSecond = FfmpegDecoder::Open(m_desc);
        if (m_pSecond)
            m_pSecondConverter =
                std::make_unique<FfmpegFrameConverter>(m_desc.nWidth, m_desc.nHeight);
    }
    return m_pSecond && m_pSecond->Usable();
}

void FfmpegFrameReader::StartNext(int64_t n) {
    // Near the end, or once the second decoder fails, one frame ahead as usual.
    if (m_nextJob == Job::Second && n + 2 < m_desc.dwLength && m_pSecond->Usable() &&
        !m_pSecond->Missing(n + 2) && !m_pDecoder->Missing(n + 2))
        return StartAhead(n + 2, Job::Second);
    StartAhead(n + 1, m_nextJob == Job::Second ? Job::Fetch : m_nextJob);
}

FfmpegFrameReader::Reached FfmpegFrameReader::DecodeAhead(int64_t frame) {
    const Reached reached = m_pDecoder->Fetch(frame, m_cancel);
    if (reached != Reached::Exact) return reached;
    // A reference, so that decoding on leaves the picture as it is.
    av_frame_unref(m_aheadPicture.get());
    if (!m_aheadPicture || av_frame_ref(m_aheadPicture.get(), m_pDecoder->Picture()) < 0)
        return Reached::End;
    return Reached::Exact;
}

void FfmpegFrameReader::StartAhead(int64_t frame, Job job) {
    if (job == Job::Decode && !m_aheadPicture) job = Job::Fetch;
    {
        std::lock_guard lock(m_aheadMutex);
        m_aheadFrame = frame;
        m_aheadWork = job;
        m_aheadState = Ahead::Queued;
        m_aheadCallerCore = ffmpeg::CurrentCore();
    }
    m_aheadInFlight = true;
    m_aheadJob = job;
    if (m_pShared) {
        // A caller that took the frame read ahead for it is playing, and
        // wants the next one within a frame period: before readers that
        // only stand by.
        if (m_pShared->Post(
                this,
                [this] {
                    std::unique_lock lock(m_aheadMutex);
                    RunQueuedLocked(lock);
                },
                m_bServedAhead))
            return;
        // An earlier job taken back may still stand in the worker's queue.
        std::lock_guard lock(m_aheadMutex);
        m_aheadInFlight = false;
        m_aheadState = Ahead::Idle;
        return;
    }
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
FfmpegFrameReader::Reached FfmpegFrameReader::FinishAhead(bool cancel, bool& waited) {
    std::unique_lock lock(m_aheadMutex);
    m_aheadInFlight = false;
    if (m_aheadState == Ahead::Queued) {
        m_aheadState = Ahead::Idle;
        return Reached::Cancelled;
    }
    if (cancel) m_cancel.store(true, std::memory_order_relaxed);
    waited = m_aheadState != Ahead::Done;
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
        RunQueuedLocked(lock);
    }
}

void FfmpegFrameReader::RunQueuedLocked(std::unique_lock<std::mutex>& lock) {
    if (m_aheadState != Ahead::Queued) return;
    m_aheadState = Ahead::Running;
    const int64_t frame = m_aheadFrame;
    const Job work = m_aheadWork;
    const int callerCore = m_aheadCallerCore;
    lock.unlock();
    // Run beside the caller, not in turns with it; a reader read flat out
    // moves no more than now and then, as moving costs its caches.
    if (const auto now = std::chrono::steady_clock::now();
        now - m_lastCoreLeave >= kLeaveCoreEvery) {
        m_lastCoreLeave = now;
        ffmpeg::LeaveCore(callerCore);
    }
    Reached reached;
    if (work == Job::Decode)
        reached = DecodeAhead(frame);
    else if (work == Job::Second)
        reached = Produce(*m_pSecond, *m_pSecondConverter, frame, m_ahead);
    else
        reached = Produce(*m_pDecoder, m_converter, frame, m_ahead);
    lock.lock();
    m_aheadReached = reached;
    m_aheadState = Ahead::Done;
    m_aheadDone.notify_one();
}
