#include "platform/ffmpeg/FfmpegFrameReader.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "platform/BitmapInfo.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

// Reading on costs a decode per frame; beyond this many frames with no
// keyframe index to consult, a seek is cheaper.
constexpr int64_t kForwardLimit = 300;
constexpr int kSeekAttempts = 10;
// A B-frame decoder holds back a few pictures at most.
constexpr int64_t kMaxLag = 16;
// Beyond this a timestamp is noise; keeps the arithmetic on stamps in range.
constexpr int64_t kSaneStamp = int64_t{1} << 52;
// A caller asking for the frame being read ahead sooner than this after the
// work began gains less from it than the two thread wake-ups cost...
constexpr std::chrono::microseconds kFlatOut{200};
// ...and reads this many frames without reading ahead.
constexpr int kAheadRest = 16;

// The full-range JPEG formats are deprecated in the converter: use the plain
// layout and say the range instead.
AVPixelFormat PlainFormat(int format, bool& fullRange) {
    fullRange = false;
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            fullRange = true;
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            fullRange = true;
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            fullRange = true;
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P:
            fullRange = true;
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P:
            fullRange = true;
            return AV_PIX_FMT_YUV411P;
        default:
            return static_cast<AVPixelFormat>(format);
    }
}

int SwsColorspace(AVColorSpace space) {
    switch (space) {
        case AVCOL_SPC_BT709:
            return SWS_CS_ITU709;
        case AVCOL_SPC_FCC:
            return SWS_CS_FCC;
        case AVCOL_SPC_SMPTE240M:
            return SWS_CS_SMPTE240M;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return SWS_CS_BT2020;
        default:
            return SWS_CS_ITU601;
    }
}

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
    std::unique_ptr<FfmpegFrameReader> reader(new FfmpegFrameReader(desc));
    if (!reader->OpenInputAndDecoder()) return nullptr;
    reader->MeasureLag();
    return reader;
}

FfmpegFrameReader::FfmpegFrameReader(const FfmpegStreamDesc& desc)
    : m_desc(desc),
      m_frameDuration{static_cast<int>(desc.dwScale), static_cast<int>(desc.dwRate)},
      m_packet(av_packet_alloc()),
      m_frame(av_frame_alloc()),
      m_before(av_frame_alloc()) {
    const size_t pixels = static_cast<size_t>(desc.nWidth) * 3 * desc.nHeight;
    // A little slack past the last row: the converter's vector stores are
    // the only writers there, and no reader is told about it.
    m_output.resize(sizeof(BITMAPINFOHEADER) + pixels + 64);
    m_ahead.resize(m_output.size());
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = desc.nWidth;
    header.biHeight = desc.nHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<uint32_t>(pixels);
    std::memcpy(m_output.data(), &header, sizeof header);
    std::memcpy(m_ahead.data(), &header, sizeof header);
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

// (Re)opens the file from its start with a fresh decoder.
bool FfmpegFrameReader::OpenInputAndDecoder() {
    m_codec.reset();
    m_stream = nullptr;
    m_input = ffmpeg::OpenInput(m_desc.source);
    if (!m_input || m_desc.nIndex >= static_cast<int>(m_input->nb_streams)) return false;
    m_stream = m_input->streams[m_desc.nIndex];
    if (m_stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) return false;
    // Only this stream's packets are wanted.
    for (unsigned i = 0; i < m_input->nb_streams; ++i)
        if (static_cast<int>(i) != m_desc.nIndex) m_input->streams[i]->discard = AVDISCARD_ALL;

    const AVCodec* decoder = avcodec_find_decoder(m_stream->codecpar->codec_id);
    if (!decoder) return false;
    m_codec.reset(avcodec_alloc_context3(decoder));
    if (!m_codec || avcodec_parameters_to_context(m_codec.get(), m_stream->codecpar) < 0)
        return false;
    m_codec->thread_count = 1;
    // The stream may change size: a picture past the limits is refused, not allocated.
    ffmpeg::LimitPictureSize(m_codec.get());
    m_codec->pkt_timebase = m_stream->time_base;
    if (avcodec_open2(m_codec.get(), decoder, nullptr) < 0) return false;
    ResetDecodeState();
    return true;
}

// The first picture of the stream is frame 0 whatever its stamp says.
void FfmpegFrameReader::MeasureLag() {
    m_lag = 0;
    if (!DecodeNext()) return;
    const int64_t number = FrameNumber(m_frame.get());
    if (number > 0 && number <= kMaxLag) m_lag = number;
    m_pendingNumber = number - m_lag;
    m_pending = true;
    m_position = m_pendingNumber;
}

void FfmpegFrameReader::ResetDecodeState() {
    av_frame_unref(m_frame.get());
    av_frame_unref(m_before.get());
    m_beforeNumber = -1;
    m_pending = false;
    m_position = -1;
    m_lastStamp = AV_NOPTS_VALUE;
    m_lastPacket = AV_NOPTS_VALUE;
    m_seekLanding = AV_NOPTS_VALUE;
    m_draining = false;
    m_drainedFrames.clear();
    m_drainNext = 0;
    m_drained = false;
}

int64_t FfmpegFrameReader::StreamTime(int64_t frame) const {
    return m_desc.nStartTime + av_rescale_q(frame, m_frameDuration, m_desc.timeBase);
}

int64_t FfmpegFrameReader::FrameNumber(const AVFrame* frame) {
    int64_t stamp = frame->best_effort_timestamp;
    // Stamps from damaged files can be anything; far-out ones count as none.
    if (stamp < -kSaneStamp || stamp > kSaneStamp) stamp = AV_NOPTS_VALUE;
    if (stamp == AV_NOPTS_VALUE) {
        const int64_t oneFrame = av_rescale_q(1, m_frameDuration, m_desc.timeBase);
        // No stamp at all: one frame after the previous picture...
        stamp = m_lastStamp == AV_NOPTS_VALUE ? m_desc.nStartTime : m_lastStamp + oneFrame;
        // ...or, drained, counted back from the last picture, due the lag
        // after the last packet: after a seek near the end no picture before
        // it may have had a stamp.
        if (m_draining && m_lastPacket != AV_NOPTS_VALUE) {
            const auto later = static_cast<int64_t>(m_drainedFrames.size() - m_drainNext);
            const int64_t fromEnd = m_lastPacket + (m_lag - later) * oneFrame;
            stamp = m_lastStamp == AV_NOPTS_VALUE ? fromEnd : std::max(stamp, fromEnd);
        }
    }
    m_lastStamp = stamp;
    return av_rescale_q(stamp - m_desc.nStartTime, m_desc.timeBase, m_frameDuration) - m_lag;
}

// Next picture into m_frame; false once the stream has nothing more.
bool FfmpegFrameReader::DecodeNext() {
    if (m_drained || !m_codec) return false;
    if (m_draining) return Drain();
    for (;;) {
        const int rc = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (rc == 0) return true;
        if (rc == AVERROR_EOF) {
            m_drained = true;
            return false;
        }
        const int read = av_read_frame(m_input.get(), m_packet.get());
        if (read < 0) {
            // End of file or an unreadable rest: let the decoder give up what
            // it holds, all at once, so that each picture's place from the
            // end is known.
            m_draining = true;
            avcodec_send_packet(m_codec.get(), nullptr);
            for (;;) {
                ffmpeg::FramePtr frame(av_frame_alloc());
                // Whatever a draining decoder says besides a picture ends the stream.
                if (!frame || avcodec_receive_frame(m_codec.get(), frame.get()) != 0) break;
                m_drainedFrames.push_back(std::move(frame));
            }
            return Drain();
        }
        // An empty chunk stands for a dropped frame; handed to the decoder it
        // would read as the end of the stream.
        if (m_packet->stream_index == m_desc.nIndex && m_packet->size > 0) {
            const int64_t time = m_packet->dts != AV_NOPTS_VALUE ? m_packet->dts : m_packet->pts;
            if (m_seekLanding == AV_NOPTS_VALUE) m_seekLanding = time;
            if (time != AV_NOPTS_VALUE && time > -kSaneStamp && time < kSaneStamp)
                m_lastPacket = time;
            // Damaged packets are dropped; the decoder recovers at the next good one.
            avcodec_send_packet(m_codec.get(), m_packet.get());
        }
        av_packet_unref(m_packet.get());
    }
}

// The next picture the drained decoder gave up into m_frame.
bool FfmpegFrameReader::Drain() {
    if (m_drainNext == m_drainedFrames.size()) {
        m_drainedFrames.clear();
        m_drainNext = 0;
        m_drained = true;
        return false;
    }
    av_frame_unref(m_frame.get());
    av_frame_move_ref(m_frame.get(), m_drainedFrames[m_drainNext++].get());
    return true;
}

// Decodes on until the picture numbered `frame` is in `pixels`.
// A cancelled fetch ahead stops between pictures, leaving the state as a
// plain decode on would.
FfmpegFrameReader::Reached FfmpegFrameReader::DecodeTo(int64_t frame, uint8_t* pixels) {
    for (;;) {
        int64_t number;
        if (m_pending) {
            m_pending = false;
            number = m_pendingNumber;
        } else {
            if (m_cancel.load(std::memory_order_relaxed)) return Reached::Cancelled;
            if (!DecodeNext()) {
                m_bHitEnd = true;
                return Reached::End;
            }
            number = FrameNumber(m_frame.get());
        }
        m_position = std::max(m_position, number);
        if (number < frame) {
            av_frame_unref(m_before.get());
            av_frame_move_ref(m_before.get(), m_frame.get());
            m_beforeNumber = number;
            continue;
        }
        if (number == frame) {
            if (m_cancel.load(std::memory_order_relaxed)) {
                m_pending = true;
                m_pendingNumber = number;
                return Reached::Cancelled;
            }
            if (!Convert(m_frame.get(), pixels)) return Reached::End;
            // Kept as the picture shown before any later number the stream skips.
            av_frame_unref(m_before.get());
            av_frame_move_ref(m_before.get(), m_frame.get());
            m_beforeNumber = number;
            return Reached::Exact;
        }
        // Past the frame: a skipped number shows the picture before it; with
        // nothing before it since the seek, the seek landed too late.
        if (m_beforeNumber < 0) return Reached::Overshot;
        m_pending = true;
        m_pendingNumber = number;
        if (m_cancel.load(std::memory_order_relaxed)) return Reached::Cancelled;
        if (!Convert(m_before.get(), pixels)) return Reached::End;
        return Reached::Exact;
    }
}

bool FfmpegFrameReader::SeekPays(int64_t frame) const {
    // Decoding on reaches the frame only if no picture numbered up to it has gone by.
    const bool ahead = m_pending ? frame >= m_pendingNumber : m_position >= 0 && frame > m_position;
    if (!ahead || m_drained) return true;
    const int64_t at = m_pending ? m_pendingNumber : m_position;
    const AVIndexEntry* key = avformat_index_get_entry_from_timestamp(
        m_stream, StreamTime(frame + m_lag), AVSEEK_FLAG_BACKWARD);
    // The index holds decode times: a keyframe that is the next packet to
    // read, or one already read, skips nothing, and it may well be shown
    // after the frame.
    const int64_t read = m_lastPacket != AV_NOPTS_VALUE ? m_lastPacket : StreamTime(at + m_lag);
    if (key) return key->timestamp > read + (StreamTime(1) - StreamTime(0));
    return frame - at > kForwardLimit;
}

FfmpegFrameReader::Reached FfmpegFrameReader::SeekTo(int64_t frame, uint8_t* pixels) {
    int64_t target = StreamTime(frame + m_lag);
    const int64_t oneFrame =
        std::clamp<int64_t>(StreamTime(1) - StreamTime(0), 1, kSaneStamp >> 16);
    for (int attempt = 0; attempt < kSeekAttempts; ++attempt) {
        const bool fromStart = target <= m_desc.nStartTime;
        if (fromStart) target = m_desc.nStartTime;
        if (av_seek_frame(m_input.get(), m_desc.nIndex, target, AVSEEK_FLAG_BACKWARD) >= 0) {
            avcodec_flush_buffers(m_codec.get());
            ResetDecodeState();
        } else if (!fromStart) {
            // No keyframe at or before the target: only reading from the start is left.
            target = m_desc.nStartTime;
            continue;
        } else if (!OpenInputAndDecoder()) {
            return Reached::End;
        }
        const Reached reached = DecodeTo(frame, pixels);
        if (reached != Reached::Overshot) return reached;
        if (fromStart) return Reached::End;
        // Land before the keyframe that came too late, further back each try.
        const int64_t landed = m_seekLanding != AV_NOPTS_VALUE
                                   ? std::clamp(m_seekLanding, m_desc.nStartTime, target)
                                   : target;
        target = landed - (oneFrame << attempt);
    }
    return Reached::End;
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
        if (!m_codec) return nullptr;
        // A damaged or cut file may hold fewer pictures than its header says.
        if (n >= m_firstMissing) return nullptr;
        m_outputNumber = -1;
        reached = Fetch(n, m_output.data() + sizeof(BITMAPINFOHEADER));
    }
    if (reached != Reached::Exact) {
        m_outputNumber = -1;
        return nullptr;
    }
    m_outputNumber = n;
    if (m_aheadRest > 0)
        --m_aheadRest;
    else if (sequential && n + 1 < m_desc.dwLength && n + 1 < m_firstMissing && m_codec)
        StartAhead(n + 1);
    return m_output.data();
}

// Frame `frame` into `pixels`, decoding on or seeking, whichever costs less.
FfmpegFrameReader::Reached FfmpegFrameReader::Fetch(int64_t frame, uint8_t* pixels) {
    m_bHitEnd = false;
    Reached reached;
    if (!SeekPays(frame)) {
        reached = DecodeTo(frame, pixels);
        if (reached == Reached::Overshot) reached = SeekTo(frame, pixels);
    } else {
        reached = SeekTo(frame, pixels);
    }
    // Decoding from at or before the frame to the end never met it: nothing from it on exists.
    if (reached == Reached::End && m_bHitEnd) m_firstMissing = std::min(m_firstMissing, frame);
    return reached;
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
        const Reached reached = Fetch(frame, m_ahead.data() + sizeof(BITMAPINFOHEADER));
        lock.lock();
        m_aheadReached = reached;
        m_aheadState = Ahead::Done;
        m_aheadDone.notify_one();
    }
}

// Converts one picture to the output: blue-green-red, bottom row first.
bool FfmpegFrameReader::Convert(const AVFrame* frame, uint8_t* pixels) {
    const int w = m_desc.nWidth, h = m_desc.nHeight;
    const size_t row = static_cast<size_t>(w) * 3;
    if (frame->width <= 0 || frame->height <= 0 || !frame->data[0]) return false;

    if (frame->format == AV_PIX_FMT_BGR24 && frame->width == w && frame->height == h) {
        for (int y = 0; y < h; ++y)
            std::memcpy(pixels + (h - 1 - y) * row, frame->data[0] + y * frame->linesize[0], row);
        return true;
    }

    if (!m_sws || frame->width != m_swsWidth || frame->height != m_swsHeight ||
        frame->format != m_swsFormat) {
        bool fullRange = false;
        const AVPixelFormat source = PlainFormat(frame->format, fullRange);
        if (frame->color_range == AVCOL_RANGE_JPEG) fullRange = true;
        m_sws.reset(sws_getContext(frame->width, frame->height, source, w, h, AV_PIX_FMT_BGR24,
                                   SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!m_sws) return false;
        const int* coefficients = sws_getCoefficients(SwsColorspace(frame->colorspace));
        sws_setColorspaceDetails(m_sws.get(), coefficients, fullRange ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        m_swsWidth = frame->width;
        m_swsHeight = frame->height;
        m_swsFormat = frame->format;
        m_scratchStride = static_cast<int>((row + 63) & ~size_t{63});
        if (w % 8 != 0) m_scratch.assign(static_cast<size_t>(m_scratchStride) * h + 64, 0);
    }

    // Rows of whole 8-pixel groups are what the converter's vector code
    // writes without running past a row's end: those frames are converted
    // straight into the output, bottom-up through a negative stride. Other
    // widths go through aligned scratch rows.
    if (w % 8 == 0) {
        uint8_t* dst[4] = {pixels + (h - 1) * row, nullptr, nullptr, nullptr};
        const int dstStride[4] = {-static_cast<int>(row), 0, 0, 0};
        return sws_scale(m_sws.get(), frame->data, frame->linesize, 0, frame->height, dst,
                         dstStride) == h;
    }
    uint8_t* dst[4] = {m_scratch.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {m_scratchStride, 0, 0, 0};
    if (sws_scale(m_sws.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride) != h)
        return false;
    for (int y = 0; y < h; ++y)
        std::memcpy(pixels + (h - 1 - y) * row,
                    m_scratch.data() + static_cast<size_t>(y) * m_scratchStride, row);
    return true;
}
