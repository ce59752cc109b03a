#include "platform/ffmpeg/FfmpegDecoder.h"

#include <algorithm>

namespace {

// Reading on costs a decode per frame; beyond this many frames with no
// keyframe index to consult, a seek is cheaper.
constexpr int64_t kForwardLimit = 300;
constexpr int kSeekAttempts = 10;
// A B-frame decoder holds back a few pictures at most.
constexpr int64_t kMaxLag = 16;
// Beyond this a timestamp is noise; keeps the arithmetic on stamps in range.
constexpr int64_t kSaneStamp = int64_t{1} << 52;

}  // namespace

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::Open(const FfmpegStreamDesc& desc) {
    std::unique_ptr<FfmpegDecoder> decoder(new FfmpegDecoder(desc));
    if (!decoder->OpenInputAndDecoder()) return nullptr;
    decoder->MeasureLag();
    return decoder;
}

FfmpegDecoder::FfmpegDecoder(const FfmpegStreamDesc& desc)
    : m_desc(desc),
      m_frameDuration{static_cast<int>(desc.dwScale), static_cast<int>(desc.dwRate)},
      m_packet(av_packet_alloc()),
      m_frame(av_frame_alloc()),
      m_before(av_frame_alloc()) {}

// (Re)opens the file from its start with a fresh decoder.
bool FfmpegDecoder::OpenInputAndDecoder() {
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
void FfmpegDecoder::MeasureLag() {
    m_lag = 0;
    if (!DecodeNext()) return;
    const int64_t number = FrameNumber(m_frame.get());
    if (number > 0 && number <= kMaxLag) m_lag = number;
    m_pendingNumber = number - m_lag;
    m_pending = true;
    m_position = m_pendingNumber;
}

void FfmpegDecoder::ResetDecodeState() {
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

int64_t FfmpegDecoder::StreamTime(int64_t frame) const {
    return m_desc.nStartTime + av_rescale_q(frame, m_frameDuration, m_desc.timeBase);
}

int64_t FfmpegDecoder::FrameNumber(const AVFrame* frame) {
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
bool FfmpegDecoder::DecodeNext() {
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
bool FfmpegDecoder::Drain() {
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

// Decodes on until the picture shown as `frame` is in m_before.
// A cancelled fetch ahead stops between pictures, leaving the state as a
// plain decode on would.
FfmpegDecoder::Reached FfmpegDecoder::DecodeTo(int64_t frame) {
    for (;;) {
        int64_t number;
        if (m_pending) {
            m_pending = false;
            number = m_pendingNumber;
        } else {
            if (Cancelled()) return Reached::Cancelled;
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
            if (Cancelled()) {
                m_pending = true;
                m_pendingNumber = number;
                return Reached::Cancelled;
            }
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
        if (Cancelled()) return Reached::Cancelled;
        return Reached::Exact;
    }
}

bool FfmpegDecoder::SeekPays(int64_t frame) const {
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

FfmpegDecoder::Reached FfmpegDecoder::SeekTo(int64_t frame) {
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
        const Reached reached = DecodeTo(frame);
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

FfmpegDecoder::Reached FfmpegDecoder::Fetch(int64_t frame, const std::atomic<bool>& cancel) {
    m_pCancel = &cancel;
    m_bHitEnd = false;
    Reached reached;
    if (!SeekPays(frame)) {
        reached = DecodeTo(frame);
        if (reached == Reached::Overshot) reached = SeekTo(frame);
    } else {
        reached = SeekTo(frame);
    }
    // Decoding from at or before the frame to the end never met it: nothing from it on exists.
    if (reached == Reached::End && m_bHitEnd) m_firstMissing = std::min(m_firstMissing, frame);
    return reached;
}
