#pragma once
// The replay's progress on a terminal: one line with the share of the show
// played, the virtual seconds done and the speed as a multiple of real time,
// rewritten in place at most ten times a second and wiped at the end. Where
// standard error is not a terminal (a log, a pipe) nothing is written: only
// the lines that matter land there.

#include <cstdint>
#include <functional>
#include <string>

class CReplayProgress {
public:
    using Writer = std::function<void(const std::string&)>;
    using Clock = std::function<int64_t()>;  // wall milliseconds, any origin

    // Writes through write, only with bTerminal; the run's start is now.
    CReplayProgress(bool bTerminal, Writer write, Clock nowMs);

    // The show has played dFraction (0 to 1) of its frames after nVirtualMs
    // of virtual time. Shown when the line is due.
    void Update(int64_t nVirtualMs, double dFraction);
    // Wipes the line, if one shows, leaving the cursor at its start.
    void Clear();

private:
    static constexpr int64_t MIN_INTERVAL_MS = 100;

    const bool m_bTerminal;
    Writer m_write;
    Clock m_nowMs;
    int64_t m_nStartMs = 0;
    int64_t m_nShownMs = 0;  // wall time of the last line, the start before one
    size_t m_nShownChars = 0;
};
