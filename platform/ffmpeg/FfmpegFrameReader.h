#pragma once
// Frame reader on one video stream: a decoder that numbers and seeks
// (FfmpegDecoder), a converter to packed bottom-up rows
// (FfmpegFrameConverter), and reading ahead on a thread of its own.
//
// Playback asks for n, n again, then n + 1, a frame period apart, and at
// large sizes decoding and converting is most of a period's work, on a
// decoder with no threads of its own. So after a call that fetched n and
// followed n - 1, the reader's own thread fetches n + 1 into a second buffer
// while the caller works on n; asking for n + 1 then only waits for the rest
// of that work and swaps the buffers. A caller that asks for n + 1 before
// that work is done reads faster than the reader alone can: the thread then
// only decodes n + 1 (keeping a reference to the picture) and the caller
// converts it, so that the thread is already decoding n + 2 meanwhile. Once
// decoded pictures wait to be asked for, converting goes back to the
// thread. Asking for n again returns the first buffer untouched. Any other
// number stops that work at its next picture and waits for it before
// decoding itself. A caller that asks for n + 1 before the thread has even
// begun takes the job back and decodes n + 1 itself, handing the decoder to
// the thread for n + 2 before it converts. On a stream whose every frame is
// a keyframe, a caller that outpaces the thread takes turns with it
// instead: the thread fetches n + 2 on a second decoder of its own while the
// caller fetches n + 1 on the first, so that two frames decode at once.
//
// Which thread owns what:
// - the caller's thread alone: m_output and the numbers kept with it
//   (m_outputNumber, m_lastFetched), m_picture, and the bookkeeping of
//   reading ahead (m_aheadInFlight, m_aheadJob, m_nextJob, m_nOutpaced,
//   m_nKeptUp, m_bServedAhead). m_picture shares its buffers with the decoder: it is
//   dropped only while no job is in flight, so that the thread never frees
//   what the caller may still be reading;
// - the work (m_pDecoder, m_aheadPicture, and for a whole fetch m_converter
//   and m_ahead): the caller's thread while no job is in flight; the worker
//   from StartAhead until FinishAhead returns. The converter stays with the
//   caller during a job that only decodes. The hand-over in both directions
//   goes through m_aheadMutex. During a job on the second decoder
//   (m_pSecond, m_pSecondConverter, m_ahead) the first decoder and the
//   converter stay with the caller; the second is the caller's otherwise;
// - under m_aheadMutex: m_aheadState, m_aheadFrame, m_aheadWork,
//   m_aheadCallerCore, m_aheadReached, m_stop;
// - any thread: m_cancel, which asks the job under way to stop;
// - fixed from construction: m_desc, m_keys, m_bReordersAtOpen, m_pShared.
// A reader that is one of several posts its jobs to a worker it shares with
// the others (FfmpegAheadWorker) instead of running a thread of its own; a
// job taken back is then left in that worker's queue and skipped.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/VideoFile.h"
#include "platform/ffmpeg/FfmpegAheadWorker.h"
#include "platform/ffmpeg/FfmpegDecoder.h"
#include "platform/ffmpeg/FfmpegFrameConverter.h"
#include "platform/ffmpeg/FfmpegStreamDesc.h"

class FfmpegFrameReader final : public IFrameReader {
public:
    // Null when the stream is not video, its frames are beyond the frame
    // limits, or no decoder exists for it.
    // pShared, for a reader that is one of several: the thread that reads
    // ahead for all of them, in place of one of its own.
    static std::unique_ptr<FfmpegFrameReader> Create(
        const FfmpegStreamDesc& desc, FrameReaderUse use = FrameReaderUse::Alone,
        std::shared_ptr<FfmpegAheadWorker> pShared = nullptr);
    ~FfmpegFrameReader() override;

    const uint8_t* GetFrame(uint32_t frame) override;
    // A reader that reads only when asked decodes the frame and converts it
    // only once GetFrame asks for it; one that reads ahead fetches it whole.
    bool ReachFrame(uint32_t frame) override;
    // From the index's keyframes as the reader found them when opened.
    uint32_t JumpCost(uint32_t frame) const override;

private:
    using Reached = FfmpegDecoder::Reached;
    enum class Ahead { Idle, Queued, Running, Done };
    // What a job ahead does: fetch the frame into m_ahead, only decode it
    // into m_aheadPicture, or fetch it on the second decoder.
    enum class Job { Fetch, Decode, Second };

    FfmpegFrameReader(const FfmpegStreamDesc& desc, std::unique_ptr<FfmpegDecoder> decoder,
                      std::shared_ptr<FfmpegAheadWorker> pShared);

    // Frame `frame` into the pixel rows of `bitmap` (a header and its rows).
    Reached Produce(FfmpegDecoder& decoder, FfmpegFrameConverter& converter, int64_t frame,
                    std::vector<uint8_t>& bitmap);
    // Frame `frame` decoded, its picture referenced in m_aheadPicture.
    Reached DecodeAhead(int64_t frame);
    bool Convert(const AVFrame* picture, std::vector<uint8_t>& bitmap);
    void StartAhead(int64_t frame, Job job);
    // The job after frame n that the caller's pace asks for.
    void StartNext(int64_t n);
    // Opens the second decoder once, for a stream it pays on.
    bool CanTakeTurns();
    // `waited`: the job was not done yet when it was asked for.
    Reached FinishAhead(bool cancel, bool& waited);
    void AheadLoop();
    // Runs the job queued, if it still is; under m_aheadMutex, let go meanwhile.
    void RunQueuedLocked(std::unique_lock<std::mutex>& lock);

    const FfmpegStreamDesc m_desc;
    std::vector<int64_t> m_keys;  // fixed from construction, like the two below
    bool m_bReordersAtOpen = false;

    std::unique_ptr<FfmpegDecoder> m_pDecoder;
    FfmpegFrameConverter m_converter;
    std::vector<uint8_t> m_ahead;  // header, then bottom-up rows; swapped with m_output when wanted
    ffmpeg::FramePtr m_aheadPicture;  // the picture a decoding job reached
    std::unique_ptr<FfmpegDecoder> m_pSecond;
    std::unique_ptr<FfmpegFrameConverter> m_pSecondConverter;
    bool m_bSecondTried = false;

    std::vector<uint8_t> m_output;  // header, then bottom-up rows
    int64_t m_outputNumber = -1;
    int64_t m_lastFetched = -1;    // the last number asked for that was not the cached one
    int64_t m_reachedNumber = -1;  // the decoder's picture, reached but not converted
    ffmpeg::FramePtr m_picture;    // a decoded picture the caller converts
    bool m_aheadInFlight = false;
    Job m_aheadJob = Job::Fetch;  // the job in flight
    Job m_nextJob = Job::Fetch;   // the next job, as the caller's pace asks
    int m_nOutpaced = 0;          // jobs in a row the caller had to wait for
    int m_nKeptUp = 0;            // jobs in a row found done
    bool m_bServedAhead = false;  // the last frame asked for was read ahead

    std::mutex m_aheadMutex;
    std::condition_variable m_aheadWake;  // a job or the stop for the worker
    std::condition_variable m_aheadDone;  // the job's end for the caller
    Ahead m_aheadState = Ahead::Idle;
    int64_t m_aheadFrame = -1;
    Job m_aheadWork = Job::Fetch;
    int m_aheadCallerCore = -1;
    // The job's own: when it last moved off its caller's core.
    std::chrono::steady_clock::time_point m_lastCoreLeave{};
    Reached m_aheadReached = Reached::End;
    bool m_stop = false;

    std::atomic<bool> m_cancel{false};             // the job's result is no longer wanted
    std::thread m_worker;                          // started by the first fetch ahead
    std::shared_ptr<FfmpegAheadWorker> m_pShared;  // or the jobs go to this one
};
