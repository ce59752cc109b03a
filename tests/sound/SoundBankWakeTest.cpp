// The bank's worker thread between passes: a new request ends its wait at
// once, even one made during a pass, yet every pass still starts at most one
// request, the lowest-numbered first, and requests that cannot start do not
// make it pass any more often.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "sound/SoundBank.h"
#include "tests/fakes/SimulatedWaveOut.h"
#include "tests/sound/WavTestFiles.h"

using namespace wavtest;
using Clock = std::chrono::steady_clock;

namespace {

// Clip i is 8-bit mono at 8000 + 1000 * i Hz, so an open's rate names its clip.
WAVEFORMATEX FormatOf(int i) { return Pcm(1, 8000 + 1000 * i, 8); }

// Passes every call on to another output and logs the worker's opens and
// writes in the order it made them; it can hold the worker inside an open,
// in the middle of its pass, until the test lets it go.
class PassLog final : public IWaveOut {
public:
    struct Event {
        bool bOpen;   // else a write
        int nClip;    // an open's clip
        int nStream;  // a write's stream, in order of opening
        Clock::time_point at;
    };

    explicit PassLog(IWaveOut& inner) : m_inner(inner) {}

    void HoldNextOpen() {
        std::lock_guard lock(m_mutex);
        m_bHoldNext = true;
    }
    // Returns once the held open has begun.
    void WaitHeld() {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_bHeld; });
    }
    void Release() {
        {
            std::lock_guard lock(m_mutex);
            m_bHeld = false;
        }
        m_cv.notify_all();
    }
    bool WaitOpens(size_t n) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return Opens() >= n; });
    }
    std::vector<Event> Events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

    uint32_t GetNumDevs() override { return m_inner.GetNumDevs(); }
    MMRESULT Open(HWAVEOUT* phwo, const WAVEFORMATEX* pwfx, WaveOutCallback callback,
                  uintptr_t dwInstance) override {
        std::unique_lock lock(m_mutex);
        m_events.push_back(
            {true, static_cast<int>(pwfx->nSamplesPerSec - 8000) / 1000, -1, Clock::now()});
        if (m_bHoldNext) {
            m_bHoldNext = false;
            m_bHeld = true;
            m_cv.notify_all();
            m_cv.wait(lock, [this] { return !m_bHeld; });
        }
        const MMRESULT mm = m_inner.Open(phwo, pwfx, callback, dwInstance);
        if (mm == MMSYSERR_NOERROR) m_streams[*phwo] = static_cast<int>(m_streams.size());
        m_cv.notify_all();
        return mm;
    }
    MMRESULT PrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override {
        return m_inner.PrepareHeader(hwo, pwh, cbwh);
    }
    MMRESULT UnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override {
        return m_inner.UnprepareHeader(hwo, pwh, cbwh);
    }
    MMRESULT Write(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back({false, -1, m_streams.at(hwo), Clock::now()});
        }
        return m_inner.Write(hwo, pwh, cbwh);
    }
    MMRESULT Reset(HWAVEOUT hwo) override { return m_inner.Reset(hwo); }
    MMRESULT Close(HWAVEOUT hwo) override {
        const MMRESULT mm = m_inner.Close(hwo);
        std::lock_guard lock(m_mutex);
        if (mm == MMSYSERR_NOERROR) m_streams.erase(hwo);
        return mm;
    }

private:
    size_t Opens() const {
        return static_cast<size_t>(std::count_if(m_events.begin(), m_events.end(),
                                                 [](const Event& e) { return e.bOpen; }));
    }

    IWaveOut& m_inner;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Event> m_events;
    std::map<HWAVEOUT, int> m_streams;
    bool m_bHoldNext = false;
    bool m_bHeld = false;
};

class SoundBankWake : public ::testing::Test {
protected:
    void SetUp() override { platform::SetWaveOut(&log); }
    void TearDown() override {
        EXPECT_EQ(sim.ProtocolErrors(), 0);
        platform::SetWaveOut(nullptr);
    }

    void Load(CSoundBank& bank, int nClips, uint32_t dwLength) {
        for (int i = 0; i < nClips; ++i)
            ASSERT_EQ(bank.AddWave(dir.WriteWav("w" + std::to_string(i) + ".wav", FormatOf(i),
                                                Pattern(dwLength, i))
                                       .c_str()),
                      i + 1);
    }

    TempDir dir;
    SimulatedWaveOut sim;
    PassLog log{sim};
};

TEST_F(SoundBankWake, RequestsRaisedDuringAPassStartOnePerPassLowestFirst) {
    CSoundBank bank;
    Load(bank, 10, 100000);  // long enough to take one write every pass
    log.HoldNextOpen();
    bank.Play(0);
    log.WaitHeld();
    for (uint32_t i : {9u, 2u, 5u}) bank.Play(i);
    log.Release();
    ASSERT_TRUE(log.WaitOpens(4));

    // Clip 0's stream takes one write per pass, so the writes to it between
    // two opens count the passes between them.
    std::vector<int> clips;
    std::vector<int> passesBetween;
    for (const PassLog::Event& e : log.Events()) {
        if (e.bOpen) {
            clips.push_back(e.nClip);
            passesBetween.push_back(0);
        } else if (e.nStream == 0) {
            ++passesBetween.back();
        }
    }
    EXPECT_EQ(clips, (std::vector<int>{0, 2, 5, 9}));
    passesBetween.pop_back();
    EXPECT_EQ(passesBetween, (std::vector<int>{1, 1, 1})) << "one start in each pass, no pass lost";
}

TEST_F(SoundBankWake, PlayDuringAPassStartsInTheNextPassWithoutWaitingOutThePeriod) {
    CSoundBank bank;
    Load(bank, 2, 0);  // each opens and closes within its pass
    std::vector<double> gapsMs;
    for (int trial = 0; trial < 15; ++trial) {
        log.HoldNextOpen();
        bank.Play(0);
        log.WaitHeld();
        bank.Play(1);
        const size_t nOpens = 2 * static_cast<size_t>(trial) + 2;
        const Clock::time_point released = Clock::now();
        log.Release();
        ASSERT_TRUE(log.WaitOpens(nOpens));
        const PassLog::Event last = log.Events().back();
        ASSERT_EQ(last.nClip, 1);
        gapsMs.push_back(std::chrono::duration<double, std::milli>(last.at - released).count());
    }
    // A worker that slept through the request would open clip 1 a whole
    // period after clip 0's pass every time; the median keeps a busy
    // machine's odd delay out.
    std::nth_element(gapsMs.begin(), gapsMs.begin() + 7, gapsMs.end());
    EXPECT_LT(gapsMs[7], WAVE_PASS_PERIOD_MS / 2.0);
}

TEST_F(SoundBankWake, RequestsThatCannotStartDoNotMakeTheWorkerPassMoreOften) {
    sim.SetNumDevs(0);
    const Clock::time_point start = Clock::now();
    {
        CSoundBank bank;
        Load(bank, MAX_WAVE_CLIPS, 100);
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(300);
        for (uint32_t n = 0; Clock::now() < until; ++n) {
            bank.Play(n % MAX_WAVE_CLIPS);
            if (n % 64 == 0) std::this_thread::yield();
        }
    }
    const double elapsedMs =
        std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    // Each pass asks for a device once for each of the 21 free slots.
    const double passes = sim.NumDevsCalls() / static_cast<double>(MAX_WAVE_CLIPS);
    EXPECT_LE(passes, MAX_WAVE_CLIPS + elapsedMs / WAVE_PASS_PERIOD_MS + 5)
        << "a wake only for each newly raised request, else the period";
    EXPECT_GE(passes, 1);
}

}  // namespace
