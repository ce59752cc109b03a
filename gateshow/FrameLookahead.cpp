#include "gateshow/FrameLookahead.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/BackgroundThread.h"
#include "platform/BitmapInfo.h"

namespace {

// The bytes of a packed bitmap as a reader gives it: its header, then rows
// of exactly width x 3 bytes; 0 for a header no reader would write.
size_t BitmapBytes(const uint8_t* bits) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, bits, sizeof header);
    const int64_t height = std::abs(int64_t{header.biHeight});
    if (header.biSize < sizeof header || header.biBitCount != 24 || header.biWidth <= 0 ||
        header.biWidth > int64_t{VIDEO_MAX_FRAME_SIDE} || height == 0 ||
        height > int64_t{VIDEO_MAX_FRAME_SIDE})
        return 0;
    return header.biSize + static_cast<size_t>(header.biWidth) * 3 * static_cast<size_t>(height);
}

}  // namespace

CFrameLookahead::CFrameLookahead(std::unique_ptr<IFrameReader> pReader, OpenReader openReader,
                                 size_t nStandby, uint32_t dwLength)
    : m_pReader(std::move(pReader)),
      m_openReader(std::move(openReader)),
      m_dwLength(dwLength),
      m_standby(m_openReader ? nStandby : 0),
      m_copies(m_standby.size() + 1) {
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
    if (n == m_nServed) return m_served.data();
    m_nServed = NONE;
    std::unique_lock lock(m_mutex);
    m_nLastAsked = n;
    // A fetch of this very frame under way is nearer its end than a fresh one.
    m_done.wait(lock, [&] {
        return std::none_of(m_standby.begin(), m_standby.end(),
                            [n](const Standby& s) { return s.nLoading == n; });
    });
    bool bTaken = false;
    for (Standby& s : m_standby) {
        const bool bFor = s.nHold == n || (s.bFollowing && m_nFollow == n);
        if (bFor && s.nLoading == NONE && s.nTried == n && s.bReady) {
            std::swap(s.pReader, m_pReader);
            s.nTried = NONE;
            s.bReady = false;
            bTaken = true;
            break;
        }
    }
    // The spare's turn is over: it took over, or another frame came first.
    m_nFollow = NONE;
    for (Standby& s : m_standby) {
        s.bFollowing = false;
        if (s.nHold == n) s.nHold = NONE;  // asked for now, or never begun
    }
    // A copy goes out only where the spare can start on the frame after
    // soon: behind a fetch for a standby (a seek that may decode a whole
    // group) it would come too late, and the caller would seek for it in the
    // very next tick. A copy's fetch is one picture.
    const bool bSoon = std::none_of(m_standby.begin(), m_standby.end(),
                                    [](const Standby& s) { return s.bLongFetch; });
    const bool bSpare = std::any_of(m_standby.begin(), m_standby.end(), [](const Standby& s) {
        return !s.bUnusable && s.nHold == NONE && !s.bFollowing;
    });
    if (!bTaken && bSoon && bSpare) {
        for (Copy& c : m_copies) {
            if (c.nFrame != n || !c.bReady) continue;
            std::swap(c.bits, m_served);
            c.bReady = false;  // made again while it is wanted
            m_nServed = n;
            if (n + 1 < m_dwLength) m_nFollow = n + 1;
            m_wake.notify_one();
            return m_served.data();
        }
    }
    lock.unlock();
    return m_pReader ? m_pReader->GetFrame(frame) : nullptr;
}

void CFrameLookahead::Preload(const uint32_t* frames, size_t count) {
    std::lock_guard lock(m_mutex);
    if (m_standby.empty()) return;
    std::vector<int64_t> wanted, holds, copies;
    for (size_t i = 0; i < count; ++i) {
        const int64_t n = frames[i];
        if (n < m_dwLength && std::find(wanted.begin(), wanted.end(), n) == wanted.end())
            wanted.push_back(n);
    }
    std::vector<bool> quick;
    for (int64_t n : wanted)
        quick.push_back(m_pReader && m_pReader->JumpCost(static_cast<uint32_t>(n)) == 1);
    // The spare is kept while a copy is wanted, or has just been given out.
    const bool bSpare =
        m_nFollow != NONE || std::find(quick.begin(), quick.end(), true) != quick.end();
    const size_t nHolds = m_standby.size() - (bSpare ? 1 : 0);
    m_wanted.clear();
    m_quick.clear();
    for (size_t i = 0; i < wanted.size(); ++i) {
        std::vector<int64_t>& list = quick[i] ? copies : holds;
        if (list.size() >= (quick[i] ? m_copies.size() : nHolds)) continue;
        list.push_back(wanted[i]);
        m_wanted.push_back(wanted[i]);
        m_quick.push_back(quick[i]);
    }

    // A copy no longer wanted goes; its bits stay for the next.
    for (Copy& c : m_copies) {
        if (std::find(copies.begin(), copies.end(), c.nFrame) != copies.end()) continue;
        c.nFrame = NONE;
        c.bReady = c.bFailed = false;
    }
    for (int64_t n : copies) {
        if (std::any_of(m_copies.begin(), m_copies.end(),
                        [n](const Copy& c) { return c.nFrame == n; }))
            continue;
        for (Copy& c : m_copies) {
            if (c.nFrame != NONE || c.bFilling) continue;
            c.nFrame = n;
            break;
        }
    }

    // A standby that holds or fetches a wanted frame keeps it; the others
    // are given the frames still missing, the readers already open first.
    std::vector<bool> kept(m_standby.size(), false);
    std::vector<int64_t> missing;
    for (int64_t n : holds) {
        bool held = false;
        for (size_t i = 0; i < m_standby.size() && !held; ++i) {
            const Standby& s = m_standby[i];
            held = !kept[i] && !s.bFollowing &&
                   (s.nHold == n || s.nLoading == n || (s.bReady && s.nTried == n));
            if (held) {
                kept[i] = true;
                m_standby[i].nHold = n;
            }
        }
        if (!held) missing.push_back(n);
    }
    std::vector<size_t> order;
    for (size_t i = 0; i < m_standby.size(); ++i)
        if (!kept[i]) order.push_back(i);
    std::stable_partition(order.begin(), order.end(),
                          [&](size_t i) { return m_standby[i].pReader != nullptr; });
    auto next = missing.begin();
    for (size_t i : order) {
        Standby& s = m_standby[i];
        s.nHold = next != missing.end() && !s.bFollowing && !s.bUnusable ? *next++ : NONE;
    }
    // The show names its frames on every tick; the thread is woken only
    // when that leaves it something to fetch.
    Job job;
    if (NextJob(job, false)) m_wake.notify_one();
}

void CFrameLookahead::WarmUp(uint32_t frame) {
    const int64_t n = frame;
    const uint8_t* bits = nullptr;
    {
        std::lock_guard lock(m_mutex);
        for (const Copy& c : m_copies)
            if (c.nFrame == n && c.bReady) bits = c.bits.data();
        for (const Standby& s : m_standby)
            if (!bits && s.nHold == n && s.nLoading == NONE && s.nTried == n && s.bReady)
                bits = s.pHeld;
    }
    // Ready, they stay as they are until this thread calls in again: the
    // lookahead's thread neither fills a ready copy nor fetches into a
    // standby that holds the frame it should.
    const size_t size = bits ? BitmapBytes(bits) : 0;
    uint8_t sum = 0;
    for (size_t i = 0; i < size; i += 64) sum ^= bits[i];
    volatile uint8_t sink = sum;
    (void)sink;
}

// A standby with no frame to hold and not taking over after a copy: an
// open one if there is one. -1 when there is none.
int CFrameLookahead::FreeStandby() const {
    int found = -1;
    for (size_t i = 0; i < m_standby.size(); ++i) {
        const Standby& s = m_standby[i];
        if (s.bUnusable || s.nHold != NONE || s.bFollowing || s.nLoading != NONE) continue;
        if (s.pReader) return static_cast<int>(i);
        if (found < 0) found = static_cast<int>(i);
    }
    return found;
}

// The most urgent job: the spare's, then the wanted frames in their order.
// Only the thread claims a spare: it looks while it fetches nothing, so the
// spare is then one already open where there is one.
bool CFrameLookahead::NextJob(Job& job, bool bClaim) {
    if (m_nFollow != NONE) {
        auto follower = std::find_if(m_standby.begin(), m_standby.end(),
                                     [](const Standby& s) { return s.bFollowing; });
        if (follower == m_standby.end()) {
            const int i = FreeStandby();
            if (i >= 0) {
                follower = m_standby.begin() + i;
                follower->bFollowing = bClaim;
            }
        }
        if (follower != m_standby.end() && follower->nLoading == NONE &&
            follower->nTried != m_nFollow) {
            job =
                Job{Work::Follow, static_cast<size_t>(follower - m_standby.begin()), 0, m_nFollow};
            return true;
        }
    }
    // The most urgent frame is a copy the caller asks for next (a show's
    // first frame): a long fetch begun now would keep the spare from taking
    // over after it, so fetches for standbys wait until it is asked for.
    const bool bCopyDue = !m_wanted.empty() && m_quick[0] && m_wanted[0] == m_nLastAsked + 1;
    for (size_t w = 0; w < m_wanted.size(); ++w) {
        const int64_t n = m_wanted[w];
        if (bCopyDue && !m_quick[w]) continue;
        if (m_quick[w]) {
            for (size_t k = 0; k < m_copies.size(); ++k) {
                const Copy& c = m_copies[k];
                if (c.nFrame != n || c.bReady || c.bFilling || c.bFailed) continue;
                const int i = FreeStandby();
                if (i < 0) break;
                // The spare that follows a copy given out frees the reader
                // in use a period later: no reader is opened meanwhile.
                if (!m_standby[i].pReader && m_nFollow != NONE) break;
                job = Job{Work::Copy, static_cast<size_t>(i), k, n};
                return true;
            }
            continue;
        }
        for (size_t i = 0; i < m_standby.size(); ++i) {
            const Standby& s = m_standby[i];
            if (s.nHold == n && !s.bUnusable && s.nLoading == NONE && s.nTried != n) {
                job = Job{Work::Hold, i, 0, n};
                return true;
            }
        }
    }
    return false;
}

// On the thread, with the standby's reader (and the copy's bits) its own.
// The frame fetched, null when it could not be.
const uint8_t* CFrameLookahead::Fetch(const Job& job, IFrameReader& reader) {
    const auto n = static_cast<uint32_t>(job.nFrame);
    switch (job.work) {
        case Work::Hold:
            // The frame before first: a reader that reads ahead of a caller
            // who goes frame by frame then already works on the frame after.
            if (n > 0) reader.GetFrame(n - 1);
            return reader.GetFrame(n);
        case Work::Follow:
            // The copy's frame is one a seek lands on; from it the reader
            // goes on as one that plays.
            return reader.GetFrame(n - 1) ? reader.GetFrame(n) : nullptr;
        case Work::Copy: {
            const uint8_t* bits = reader.GetFrame(n);
            const size_t size = bits ? BitmapBytes(bits) : 0;
            if (size == 0) return nullptr;
            std::vector<uint8_t>& copy = m_copies[job.nCopy].bits;
            copy.assign(bits, bits + size);
            return copy.data();
        }
    }
    return nullptr;
}

void CFrameLookahead::Run() {
    // Woken by a Preload in the middle of a tick, it must not take the
    // core that tick runs on.
    RunAsBackgroundWork();
    std::unique_lock lock(m_mutex);
    for (;;) {
        Job job{};
        m_wake.wait(lock, [&] { return m_bStop || NextJob(job, true); });
        if (m_bStop) return;
        Standby& s = m_standby[job.nStandby];
        s.nLoading = job.nFrame;
        s.bLongFetch = job.work == Work::Hold;
        s.nTried = NONE;
        s.bReady = false;
        if (job.work == Work::Copy) m_copies[job.nCopy].bFilling = true;
        if (!s.pReader) {
            lock.unlock();
            std::unique_ptr<IFrameReader> opened = m_openReader();
            lock.lock();
            s.pReader = std::move(opened);
        }
        IFrameReader* reader = s.pReader.get();
        lock.unlock();
        const uint8_t* fetched = reader ? Fetch(job, *reader) : nullptr;
        const bool bOk = fetched != nullptr;
        lock.lock();
        s.nLoading = NONE;
        s.bLongFetch = false;
        if (!s.pReader) {
            s.bUnusable = true;
            s.nHold = NONE;
            s.bFollowing = false;
        }
        if (job.work == Work::Copy) {
            Copy& c = m_copies[job.nCopy];
            c.bFilling = false;
            if (c.nFrame == job.nFrame) {
                c.bReady = bOk;
                c.bFailed = !bOk && reader;
            }
        } else {
            s.nTried = job.nFrame;
            s.bReady = bOk;
            s.pHeld = fetched;
        }
        m_done.notify_all();
    }
}
