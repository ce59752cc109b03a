#include "gateshow/FrameLookahead.h"

#include <algorithm>
#include <system_error>
#include <utility>

CFrameLookahead::CFrameLookahead(std::unique_ptr<IFrameReader> pReader,
                                 std::vector<std::unique_ptr<IFrameReader>> standby,
                                 uint32_t dwLength)
    : m_pReader(std::move(pReader)), m_dwLength(dwLength) {
    for (std::unique_ptr<IFrameReader>& reader : standby) {
        if (!reader) continue;
        m_standby.emplace_back();
        m_standby.back().pReader = std::move(reader);
    }
    if (m_standby.empty()) return;
    try {
        m_worker = std::thread(&CFrameLookahead::Run, this);
    } catch (const std::system_error&) {
        // No thread to be had: every frame is fetched the plain way.
        m_standby.clear();
    }
}

CFrameLookahead::~CFrameLookahead() {
    if (!m_worker.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_one();
    m_worker.join();
}

const uint8_t* CFrameLookahead::GetFrame(uint32_t frame) {
    const int64_t n = frame;
    std::unique_lock lock(m_mutex);
    // A fetch of this very frame under way is nearer its end than a fresh one.
    m_done.wait(lock, [&] {
        return std::none_of(m_standby.begin(), m_standby.end(),
                            [n](const Standby& s) { return s.nLoading == n; });
    });
    for (Standby& s : m_standby) {
        if (s.nWanted == n) s.nWanted = NONE;  // asked for now, or never begun
        if (s.nTried == n && s.bReady) {
            std::swap(s.pReader, m_pReader);
            s.nTried = NONE;
            s.bReady = false;
            break;
        }
    }
    lock.unlock();
    return m_pReader ? m_pReader->GetFrame(frame) : nullptr;
}

void CFrameLookahead::Preload(const uint32_t* frames, size_t count) {
    std::lock_guard lock(m_mutex);
    m_wanted.clear();
    for (size_t i = 0; i < count && m_wanted.size() < m_standby.size(); ++i) {
        const int64_t n = frames[i];
        if (n < m_dwLength && std::find(m_wanted.begin(), m_wanted.end(), n) == m_wanted.end())
            m_wanted.push_back(n);
    }

    // A standby that holds or fetches a wanted frame keeps it; the others
    // are given the frames still missing.
    std::vector<bool> kept(m_standby.size(), false);
    std::vector<int64_t> missing;
    for (int64_t n : m_wanted) {
        bool held = false;
        for (size_t i = 0; i < m_standby.size() && !held; ++i) {
            const Standby& s = m_standby[i];
            held = !kept[i] && (s.nWanted == n || s.nLoading == n || (s.bReady && s.nTried == n));
            if (held) {
                kept[i] = true;
                m_standby[i].nWanted = n;
            }
        }
        if (!held) missing.push_back(n);
    }
    auto next = missing.begin();
    for (size_t i = 0; i < m_standby.size(); ++i) {
        if (kept[i]) continue;
        m_standby[i].nWanted = next != missing.end() ? *next++ : NONE;
    }
    // The show names its frames on every tick; the thread is woken only
    // when that leaves it something to fetch.
    if (NextJob()) m_wake.notify_one();
}

// The standby whose wanted frame comes first in the list and still needs fetching.
CFrameLookahead::Standby* CFrameLookahead::NextJob() {
    for (int64_t n : m_wanted) {
        for (Standby& s : m_standby) {
            if (s.nWanted == n && s.nLoading == NONE && s.nTried != n) return &s;
        }
    }
    return nullptr;
}

void CFrameLookahead::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        Standby* job = nullptr;
        m_wake.wait(lock, [&] { return m_bStop || (job = NextJob()) != nullptr; });
        if (m_bStop) return;
        const int64_t n = job->nWanted;
        job->nLoading = n;
        job->bReady = false;
        IFrameReader& reader = *job->pReader;
        lock.unlock();
        // The frame before first: a reader that reads ahead of a caller who
        // goes frame by frame then already works on the frame after.
        if (n > 0) reader.GetFrame(static_cast<uint32_t>(n - 1));
        const bool bReady = reader.GetFrame(static_cast<uint32_t>(n)) != nullptr;
        lock.lock();
        job->nLoading = NONE;
        job->nTried = n;
        job->bReady = bReady;
        m_done.notify_all();
    }
}
