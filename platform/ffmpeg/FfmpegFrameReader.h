#pragma once
// Frame reader on one video stream. Each reader opens the file again and owns
// its demuxer, decoder and converter, so readers never disturb each other.
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
//
// Playback asks for n, n again, then n + 1, a frame period apart, and at
// large sizes decoding and converting is most of a period's work, on a
// decoder with no threads of its own. So after a call that fetched n and
// followed n - 1, the reader's own thread fetches n + 1 into a second buffer
// while the caller works on n; asking for n + 1 then only waits for the rest
// of that work and swaps the buffers. Asking for n again returns the first
// buffer untouched. Any other number stops that work at its next picture and
// waits for it before decoding itself. A caller that asks for n + 1 at once
// reads flat out, with nothing to overlap: it goes without reading ahead for
// a while (and takes back work not yet begun). The demuxer, decoder and
// converter are used by one thread at a time: the caller's, or the reader's
// while a fetch ahead is in flight.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
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

    enum class Reached { Exact, Overshot, End, Cancelled };
    enum class Ahead { Idle, Queued, Running, Done };

    bool OpenInputAndDecoder();
    void MeasureLag();
    Reached Fetch(int64_t frame, uint8_t* pixels);
    Reached SeekTo(int64_t frame, uint8_t* pixels);
    bool SeekPays(int64_t frame) const;
    void ResetDecodeState();
    Reached DecodeTo(int64_t frame, uint8_t* pixels);
    bool DecodeNext();
    bool Drain();
    int64_t FrameNumber(const AVFrame* frame);
    int64_t StreamTime(int64_t frame) const;
    bool Convert(const AVFrame* frame, uint8_t* pixels);

    void StartAhead(int64_t frame);
    Reached FinishAhead(bool cancel);
    void AheadLoop();

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
    bool m_bHitEnd = false;              // the last decode ran out of pictures
    int64_t m_firstMissing = INT64_MAX;  // no picture from this number on

    ffmpeg::SwsPtr m_sws;
    int m_swsWidth = 0, m_swsHeight = 0, m_swsFormat = -1;
    std::vector<uint8_t> m_scratch;  // converter output, rows aligned for its vector code
    int m_scratchStride = 0;

    std::vector<uint8_t> m_output;  // header, then bottom-up rows
    int64_t m_outputNumber = -1;
    int64_t m_lastFetched = -1;  // the last number asked for that was not the cached one

    // Fetching ahead. Everything above belongs to the worker from StartAhead
    // until FinishAhead returns, except m_output and the numbers kept with it.
    std::vector<uint8_t> m_ahead;  // same layout as m_output; swapped with it when wanted
    std::mutex m_aheadMutex;
    std::condition_variable m_aheadWake;  // a job or the stop for the worker
    std::condition_variable m_aheadDone;  // the job's end for the caller
    bool m_aheadInFlight = false;         // the caller's own note, read without the lock
    int m_aheadRest = 0;                  // frames to go before reading ahead again
    std::chrono::steady_clock::time_point m_aheadStarted;
    Ahead m_aheadState = Ahead::Idle;
    int64_t m_aheadFrame = -1;
    Reached m_aheadReached = Reached::End;
    bool m_stop = false;
    std::atomic<bool> m_cancel{false};  // the job's result is no longer wanted
    std::thread m_worker;               // started by the first fetch ahead
};
