#pragma once
// One thread that does the reading ahead of several frame readers of a clip,
// urgent jobs first, each kind in the order posted: readers kept open
// together then cost one thread between them, not one each. The thread
// starts with the worker when asked to, or else with the first job.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

class FfmpegAheadWorker {
public:
    // bStartNow: the thread is started here, so that the readers' owner has
    // all its threads once it has opened them.
    explicit FfmpegAheadWorker(bool bStartNow);
    ~FfmpegAheadWorker();
    FfmpegAheadWorker(const FfmpegAheadWorker&) = delete;
    FfmpegAheadWorker& operator=(const FfmpegAheadWorker&) = delete;

    // Runs job on the worker's thread after the urgent jobs posted before it
    // and, unless bUrgent, after all others too; false when no thread is to
    // be had, and the job will not run.
    bool Post(const void* pOwner, std::function<void()> job, bool bUrgent);
    // Drops pOwner's jobs not yet begun and waits for one under way to end.
    void Withdraw(const void* pOwner);

private:
    void Loop();
    bool StartLocked();

    std::mutex m_mutex;
    std::condition_variable m_wake;  // a job or the stop
    std::condition_variable m_idle;  // a job has ended
    struct Job {
        const void* pOwner;
        std::function<void()> run;
        bool bUrgent;
    };
    std::deque<Job> m_jobs;
    const void* m_pRunning = nullptr;  // whose job runs now
    bool m_bStop = false;
    std::thread m_thread;
};
