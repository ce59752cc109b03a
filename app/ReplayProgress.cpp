#include "app/ReplayProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

CReplayProgress::CReplayProgress(bool bTerminal, Writer write, Clock nowMs)
    : m_bTerminal(bTerminal), m_write(std::move(write)), m_nowMs(std::move(nowMs)) {
    if (m_bTerminal) m_nStartMs = m_nShownMs = m_nowMs();
}

void CReplayProgress::Update(int64_t nVirtualMs, double dFraction) {
    if (!m_bTerminal) return;
    const int64_t nNowMs = m_nowMs();
    if (nNowMs - m_nShownMs < MIN_INTERVAL_MS) return;
    m_nShownMs = nNowMs;

    const int nPercent = static_cast<int>(std::floor(std::clamp(dFraction, 0.0, 1.0) * 100.0));
    const double dSpeed =
        static_cast<double>(nVirtualMs) / static_cast<double>(nNowMs - m_nStartMs);
    char text[128];
    const int n = std::snprintf(text, sizeof text,
                                "zarndemo-replay: %3d%% of the show, %.1f s, %.1fx real time",
                                nPercent, static_cast<double>(nVirtualMs) / 1000.0, dSpeed);
    std::string line =
        "\r" + std::string(text, std::min(static_cast<size_t>(std::max(n, 0)), sizeof text - 1));
    // A shorter line than the last leaves none of it behind.
    const size_t nChars = line.size() - 1;
    if (nChars < m_nShownChars) line.append(m_nShownChars - nChars, ' ');
    m_nShownChars = std::max(nChars, m_nShownChars);
    m_write(line);
}

void CReplayProgress::Clear() {
    if (!m_bTerminal || m_nShownChars == 0) return;
    m_write("\r" + std::string(m_nShownChars, ' ') + "\r");
    m_nShownChars = 0;
}
