#include "detect/RunReport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "detect/ShowWaveDlg.h"

CRunReport::CRunReport(Options options) : m_options(std::move(options)) {}

void CRunReport::NoteFirstTake(void* pUser, bool bHeard) {
    auto* self = static_cast<CRunReport*>(pUser);
    const uint32_t n = self->m_nTakesWritten.load(std::memory_order_relaxed);
    self->m_takesUs[n % TAKE_RING].store(self->m_options.nowUs(), std::memory_order_relaxed);
    self->m_takesHeard[n % TAKE_RING].store(bHeard, std::memory_order_relaxed);
    self->m_nTakesWritten.store(n + 1, std::memory_order_release);
}

void CRunReport::OnShowStart(const CShowWaveDlg& dlg) {
    // A camera show that ranks nothing has no frame period: nothing of it is
    // measured.
    m_bShow = dlg.FramePeriod() != 0;
    if (!m_bShow) return;
    m_stats = CShowStats{};
    m_stats.nFramePeriodMs = dlg.FramePeriod();
    m_stats.nClips = dlg.SoundBank().ClipCount();
    m_stats.bCamera = dlg.UsesCamera();
    m_dueUs = m_options.nowUs() + int64_t{1000} * m_stats.nFramePeriodMs;
    m_playTicksUs.clear();
    m_nTakesRead = m_nTakesWritten.load(std::memory_order_acquire);
    m_oscAtStart = platform::Osc().Stats();
    const std::string line = CShowStats::SilentCellsLine(m_stats.nClips);
    if (!line.empty()) std::fprintf(m_options.pOut, "%s\n", line.c_str());
}

void CRunReport::BeforeTick(const CShowWaveDlg& /*dlg*/, uintptr_t nIDEvent) {
    if (!m_bShow) return;
    DrainTakes();
    m_tickUs = m_options.nowUs();
    if (nIDEvent != TIMER_FRAME) return;
    const int64_t periodUs = int64_t{1000} * m_stats.nFramePeriodMs;
    m_latenessUs = m_tickUs - m_dueUs;
    m_dueUs = m_latenessUs > periodUs ? m_tickUs + periodUs : m_dueUs + periodUs;
}

void CRunReport::AfterTick(const CShowWaveDlg& dlg, const ShowWaveTick& tick) {
    if (!m_bShow) return;
    m_stats.nRepeats = dlg.Repeats();
    m_stats.nCameraFramesDropped = dlg.CameraFramesDropped();
    if (tick.bDrewFrame) {
        ++m_stats.nFramesShown;
        m_stats.tickLatenessMs.push_back(static_cast<double>(m_latenessUs) / 1000.0);
        if (m_latenessUs > int64_t{1000} * m_stats.nFramePeriodMs) ++m_stats.nFramesLate;
    }
    if (tick.bPlayed) {
        bool bAsked = false;
        for (int i = 0; i < 3; ++i) {
            const CellScore& cell = dlg.ChosenCells()[i];
            const int n = cell.nRow * 7 + cell.nCol;
            // Play refuses numbers beyond the loaded sounds.
            if (n >= 0 && static_cast<uint32_t>(n) < m_stats.nClips && n < REPORT_CELLS) {
                ++m_stats.soundsPerCell[n];
                bAsked = true;
            }
        }
        if (bAsked) m_playTicksUs.push_back(m_tickUs);
    }
}

void CRunReport::OnShowEnd() {
    if (!m_bShow) return;
    m_bShow = false;
    DrainTakes();
    const OscStats osc = platform::Osc().Stats();
    m_stats.bOsc = platform::Osc().IsSending() || osc.nReceived != 0;
    m_stats.nOscSendDropped = osc.nSendDropped - m_oscAtStart.nSendDropped;
    m_stats.nOscReceiveDropped = osc.nReceiveDropped - m_oscAtStart.nReceiveDropped;
    std::fputs(m_stats.Text().c_str(), m_options.pOut);
    std::fflush(m_options.pOut);
    m_shows.push_back(m_stats.Json());
    if (!m_options.strJsonPath.empty()) WriteJson();
}

void CRunReport::DrainTakes() {
    const uint32_t nWritten = m_nTakesWritten.load(std::memory_order_acquire);
    // More than a ring behind: the oldest are gone.
    if (nWritten - m_nTakesRead > TAKE_RING) m_nTakesRead = nWritten - TAKE_RING;
    for (; m_nTakesRead != nWritten; ++m_nTakesRead) {
        const int64_t takeUs = m_takesUs[m_nTakesRead % TAKE_RING].load(std::memory_order_relaxed);
        const auto after = std::upper_bound(m_playTicksUs.begin(), m_playTicksUs.end(), takeUs);
        if (after == m_playTicksUs.begin()) continue;  // not a sound of this show
        if (!m_takesHeard[m_nTakesRead % TAKE_RING].load(std::memory_order_relaxed)) {
            ++m_stats.nSoundsUnheard;
            continue;
        }
        m_stats.triggerLatencyMs.push_back(static_cast<double>(takeUs - *(after - 1)) / 1000.0);
    }
}

// Written aside and moved into place, so a reader never finds half a file.
void CRunReport::WriteJson() {
    std::string text = "{\"shows\": [";
    for (size_t i = 0; i < m_shows.size(); ++i) text += (i ? ",\n  " : "\n  ") + m_shows[i];
    text += "\n]}\n";
    const std::string aside = m_options.strJsonPath + ".part";
    std::FILE* f = std::fopen(aside.c_str(), "wb");
    bool bOk = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f) bOk = std::fclose(f) == 0 && bOk;
    if (bOk) bOk = std::rename(aside.c_str(), m_options.strJsonPath.c_str()) == 0;
    if (!bOk) {
        std::fprintf(m_options.pOut, "run report: cannot write %s: %s\n",
                     m_options.strJsonPath.c_str(), std::strerror(errno));
        std::remove(aside.c_str());
    }
}
