#pragma once
// Frame reader on one video stream. Each reader opens the file again and owns
// its demuxer, decoder and converter, so readers never disturb each other.
//
// Frame numbers come from the decoded frames' timestamps in units of one
// frame. AVI stores no presentation times, so a decoder that holds pictures
// back for B-frames stamps each picture with a later packet's time; that lag
// is measured on the stream's first picture (always frame 0) and taken off.
//
// Reading n then n + 1 decodes on without seeking. A jump seeks to the
// keyframe at or before n and decodes forward; when the first picture after
// the seek is already past n (pictures shown before their keyframe), it seeks
// a keyframe further back. A number the stream skips (a dropped frame) gets
// the picture shown before it.

#include <cstdint>
#include <vector>

#include "platform/VideoFile.h"
#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/ffmpeg/FfmpegStreamDesc.h"

class FfmpegFrameReader final : public IFrameReader {
public:
    // Null when the stream is not video or no decoder exists for it.
    static std::unique_ptr<FfmpegFrameReader> Create(const FfmpegStreamDesc& desc);
    ~FfmpegFrameReader() override;

    const uint8_t* GetFrame(uint32_t frame) override;

private:
    explicit FfmpegFrameReader(const FfmpegStreamDesc& desc);

    enum class Reached { Exact, Overshot, End };

    bool OpenInputAndDecoder();
    void MeasureLag();
    bool SeekTo(int64_t frame);
    bool SeekPays(int64_t frame) const;
    void ResetDecodeState();
    Reached DecodeTo(int64_t frame);
    bool DecodeNext();
    int64_t FrameNumber(const AVFrame* frame);
    int64_t StreamTime(int64_t frame) const;
    bool Convert(const AVFrame* frame);

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
    int64_t m_seekLanding = AV_NOPTS_VALUE;  // stream time of the first packet after a seek
    bool m_draining = false;
    bool m_drained = false;
    bool m_bHitEnd = false;              // the last decode ran out of pictures
    int64_t m_firstMissing = INT64_MAX;  // no picture from this number on

    ffmpeg::SwsPtr m_sws;
    int m_swsWidth = 0, m_swsHeight = 0, m_swsFormat = -1;
    std::vector<uint8_t> m_scratch;  // converter output, rows aligned for its vector code
    int m_scratchStride = 0;

    std::vector<uint8_t> m_output;  // header, then bottom-up rows
    int64_t m_outputNumber = -1;
};
