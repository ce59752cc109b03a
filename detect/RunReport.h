#pragma once
// The run report of the detection shows that a program runs, gathered from
// outside the window through the show tap: when a clip show, or a camera
// show that ranks the live picture, starts with cells that have no sound, one
// line names them; when it ends, one block on standard error gives its
// frames, their lateness, the trigger latency, the sounds per cell and a
// camera's dropped frames, and the same goes as JSON to a file when one is
// named (every show of the run so far, rewritten after each).
//
// Frame-tick lateness is measured against when the host means a tick to
// come: one period after the previous tick's due time, or after the previous
// tick itself when that came more than a period late (a timer that falls that
// far behind starts its schedule again, as Qt's do). Trigger latency runs
// from a play tick to the moment the mixer first takes a sound's bytes; each
// first take counts from the latest play tick before it that asked for a
// sound. A sound first taken while the audio output was gone is counted
// apart: it was mixed, but nobody heard it.

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/Osc.h"
#include "detect/ShowStats.h"
#include "detect/ShowWaveTap.h"

class CRunReport final : public IShowWaveObserver {
public:
    struct Options {
        // A steady clock in microseconds; read on the user-interface thread
        // and, through NoteFirstTake, on the mixing thread.
        std::function<int64_t()> nowUs;
        std::FILE* pOut = stderr;
        std::string strJsonPath;  // empty for no JSON
    };

    explicit CRunReport(Options options);

    // The mixer's first-take probe, pUser being the report: notes the time
    // and whether the take was heard, and nothing else, so it may run on the
    // mixing thread.
    static void NoteFirstTake(void* pUser, bool bHeard);

    void OnShowStart(const CShowWaveDlg& dlg) override;
    void BeforeTick(const CShowWaveDlg& dlg, uintptr_t nIDEvent) override;
    void AfterTick(const CShowWaveDlg& dlg, const ShowWaveTick& tick) override;
    void OnShowEnd() override;

private:
    void DrainTakes();
    void WriteJson();

    static constexpr uint32_t TAKE_RING = 256;

    // User-interface thread only.
    Options m_options;
    bool m_bShow = false;  // a show with frame ticks is under way
    CShowStats m_stats;
    int64_t m_dueUs = 0;                 // when the next frame tick is meant to come
    int64_t m_latenessUs = 0;            // of the frame tick under way
    int64_t m_tickUs = 0;                // when the tick under way came
    std::vector<int64_t> m_playTicksUs;  // play ticks that asked for a sound
    std::vector<std::string> m_shows;    // the JSON of every show ended
    uint32_t m_nTakesRead = 0;
    OscStats m_oscAtStart;  // the OSC service's counts when the show began
    // Written by the mixing thread: the times of first takes and whether
    // each was heard, a ring.
    std::array<std::atomic<int64_t>, TAKE_RING> m_takesUs{};
    std::array<std::atomic<bool>, TAKE_RING> m_takesHeard{};
    std::atomic<uint32_t> m_nTakesWritten{0};
};
