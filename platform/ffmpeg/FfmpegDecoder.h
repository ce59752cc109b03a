#pragma once
// Decodes one video stream synchronously, numbering its pictures and seeking
// to any frame; no threads. Owns its own demuxer (the file opened again) and
// decoder, so decoders never disturb each other.
//
// Frame numbers come from the decoded frames' timestamps in units of one
// frame. AVI stores no presentation times, so a decoder that holds pictures
// back for B-frames stamps each picture with a later packet's time; that lag
// is measured on the stream's first picture (always frame 0) and taken off.
// The pictures a drained decoder gives up at the end have no stamp. The last
// of them is the stream's last picture, due the lag after the last packet's
// time (whatever a seek left undecoded before it); the others one frame
// earlier each.
//
// Reading n then n + 1 decodes on without seeking. A jump seeks to the
// keyframe at or before n and decodes forward; when the first picture after
// the seek is already past n (pictures shown before their keyframe), it seeks
// a keyframe further back. The index gives a keyframe's decode time, not the
// time it is shown, so only a keyframe beyond the next packet is worth a
// seek. A number the stream skips (a dropped frame) gets the picture shown
// before it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/ffmpeg/FfmpegStreamDesc.h"

class FfmpegDecoder {
public:
    enum class Reached { Exact, Overshot, End, Cancelled };

    // Null when the stream cannot be opened or no decoder exists for it.
    static std::unique_ptr<FfmpegDecoder> Open(const FfmpegStreamDesc& desc);

    // Decodes on or seeks, whichever costs less, until the picture shown as
    // `frame` is at hand: Exact, then Picture() holds it. `cancel` is looked
    // at between pictures; a cancelled fetch leaves the state as decoding on
    // would, and the same fetch later goes on from there.
    Reached Fetch(int64_t frame, const std::atomic<bool>& cancel);
    // The picture of the last Exact fetch, until the next fetch.
    const AVFrame* Picture() const { return m_before.get(); }

    // False once a reopening has failed: nothing more can be decoded.
    bool Usable() const { return m_codec != nullptr; }
    // True when decoding from before `frame` met the end without it: the
    // file holds fewer pictures than its header says.
    bool Missing(int64_t frame) const { return frame >= m_firstMissing; }

private:
    explicit FfmpegDecoder(const FfmpegStreamDesc& desc);

    bool OpenInputAndDecoder();
    void MeasureLag();
    Reached SeekTo(int64_t frame);
    bool SeekPays(int64_t frame) const;
    void ResetDecodeState();
    Reached DecodeTo(int64_t frame);
    bool DecodeNext();
    bool Drain();
    int64_t FrameNumber(const AVFrame* frame);
    int64_t StreamTime(int64_t frame) const;
    bool Cancelled() const { return m_pCancel->load(std::memory_order_relaxed); }

    FfmpegStreamDesc m_desc;
    AVRational m_frameDuration{1, 1};  // in seconds
    int64_t m_lag = 0;                 // frames between a picture's stamp and its number

    ffmpeg::InputPtr m_input;
    AVStream* m_stream = nullptr;
    ffmpeg::CodecPtr m_codec;
    ffmpeg::PacketPtr m_packet;
    ffmpeg::FramePtr m_frame;   // the last picture out of the decoder
    ffmpeg::FramePtr m_before;  // the last picture before the one asked for
    int64_t m_beforeNumber = -1;
    bool m_pending = false;  // m_frame is decoded but not yet looked at
    int64_t m_pendingNumber = -1;
    int64_t m_position = -1;  // number of the last picture decoded
    int64_t m_lastStamp = AV_NOPTS_VALUE;
    int64_t m_lastPacket = AV_NOPTS_VALUE;   // stream time of the last packet sent to the decoder
    int64_t m_seekLanding = AV_NOPTS_VALUE;  // stream time of the first packet after a seek
    bool m_draining = false;
    std::vector<ffmpeg::FramePtr> m_drainedFrames;  // given up by the decoder, not yet taken
    size_t m_drainNext = 0;
    bool m_drained = false;
    bool m_bHitEnd = false;                        // the last decode ran out of pictures
    int64_t m_firstMissing = INT64_MAX;            // no picture from this number on
    const std::atomic<bool>* m_pCancel = nullptr;  // the running fetch's
};
