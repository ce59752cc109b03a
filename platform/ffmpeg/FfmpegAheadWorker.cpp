#include "platform/ffmpeg/FfmpegAheadWorker.h"

#include <algorithm>
#include <system_error>

FfmpegAheadWorker::FfmpegAheadWorker(bool bStartNow) {
    if (!bStartNow) return;
    std::lock_guard lock(m_mutex);
    StartLocked();
}

bool FfmpegAheadWorker::StartLocked() {
    if (m_thread.joinable()) return true;
    try {
        m_thread = std::thread(&FfmpegAheadWorker::Loop, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

FfmpegAheadWorker::~FfmpegAheadWorker() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

bool FfmpegAheadWorker::Post(const void* pOwner, std::function<void()> job, bool bUrgent) {
    {
        std::lock_guard lock(m_mutex);
        if (!StartLocked()) return false;
        const auto place = bUrgent ? std::find_if(m_jobs.begin(), m_jobs.end(),
                                                  [](const Job& j) { return !j.bUrgent; })
                                   : m_jobs.end();
        m_jobs.insert(place, Job{pOwner, std::move(job), bUrgent});
    }
    m_wake.notify_one();
    return true;
}

void FfmpegAheadWorker::Withdraw(const void* pOwner) {
    std::unique_lock lock(m_mutex);
    std::erase_if(m_jobs, [pOwner](const Job& job) { return job.pOwner == pOwner; });
    m_idle.wait(lock, [&] { return m_pRunning != pOwner; });
}

void FfmpegAheadWorker::Loop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_bStop || !m_jobs.empty(); });
        if (m_bStop) return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_pRunning = job.pOwner;
        lock.unlock();
        job.run();
        job.run = nullptr;  // what the job holds goes before its owner may
        lock.lock();
        m_pRunning = nullptr;
        m_idle.notify_all();
    }
}
