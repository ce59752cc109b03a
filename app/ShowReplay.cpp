#include "app/ShowReplay.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "detect/DetectLauncher.h"
#include "detect/ShowWaveDlg.h"
#include "platform/PulledMix.h"
#include "platform/ShowRecording.h"
#include "platform/VirtualShowWindows.h"
#include "app/ReplayFiles.h"
#include "app/ReplayProgress.h"
#include "detect/ShowStats.h"
#include "sound/SteppedPassDriver.h"

namespace {

constexpr int64_t PASS_MS = WAVE_PASS_PERIOD_MS;
// Sounds still waiting this long after the show's last tick never get a
// stream; the run ends without them.
constexpr int64_t MAX_TAIL_MS = 10 * 60 * 1000;

std::string CellNumber(const CellScore& cell) { return std::to_string(cell.nRow * 7 + cell.nCol); }

// The share of the show's frames drawn so far.
double PlayedFraction(const ClipSegment& segment) {
    const double dFrames = double(segment.dwLastFrame) - double(segment.dwFirstFrame) + 1.0;
    return dFrames > 0 ? (double(segment.dwCursor) - double(segment.dwFirstFrame)) / dFrames : 1.0;
}

}  // namespace

CShowReplay::CShowReplay(IVirtualShowWindows& host, IPulledMix& mix) : m_host(host), m_mix(mix) {}

void CShowReplay::OnShowStart(const CShowWaveDlg& dlg) {
    const std::string line = CShowStats::SilentCellsLine(dlg.SoundBank().ClipCount());
    if (!line.empty()) std::fprintf(stderr, "%s\n", line.c_str());
}

void CShowReplay::AfterTick(const CShowWaveDlg& dlg, const ShowWaveTick& tick) {
    if (tick.nIDEvent == TIMER_FRAME) {
        ++m_nFrameTicks;
        m_nPictureMs = m_host.NowMs();
    }
    if (tick.bRanked) {
        Ranking ranking;
        ranking.nTick = m_nFrameTicks;
        ranking.dwFrame = dlg.Avi().Segment(0).dwCursor;
        // When the play tick is due; it says so itself when it comes.
        ranking.nPlayMs = m_host.NowMs() + dlg.FramePeriod();
        for (int i = 0; i < 3; ++i) ranking.cells[i] = dlg.ChosenCells()[i];
        m_rankings.push_back(ranking);
    }
    if (tick.bPlayed && !m_rankings.empty()) {
        Ranking& ranking = m_rankings.back();
        ranking.nPlayMs = m_host.NowMs();
        const uint32_t nClips = dlg.SoundBank().ClipCount();
        for (int i = 0; i < 3; ++i) {
            const CellScore& cell = dlg.ChosenCells()[i];
            ranking.bSounded[i] = static_cast<uint32_t>(cell.nRow * 7 + cell.nCol) < nClips;
        }
    }
}

bool CShowReplay::BankIdle(const CShowWaveDlg& dlg) {
    const CSoundBank& bank = dlg.SoundBank();
    for (int j = 0; j < MAX_WAVE_CLIPS; ++j)
        if (bank.Slot(j).bInUse) return false;
    for (uint32_t i = 0; i < bank.ClipCount(); ++i)
        if (bank.Clip(static_cast<int>(i)).bPlayRequest) return false;
    return true;
}

// Runs the ticks due by ms in order; a frame tick's picture is taken once
// every tick of its instant has run.
bool CShowReplay::TickUntil(int64_t ms, IShowRecording* pRecording) {
    for (;;) {
        const int64_t due = m_host.NextDueMs();
        if (m_nPictureMs >= 0 && due > m_nPictureMs) {
            if (pRecording) {
                int w = 0, h = 0, stride = 0;
                const uint32_t* pPixels = m_host.Picture(w, h, stride);
                if (pPixels && w == DETECT_SCREEN_WIDTH && h == DETECT_SCREEN_HEIGHT &&
                    !pRecording->AddPicture(pPixels, stride, m_nPictureMs))
                    return false;
            }
            m_nPictureMs = -1;
        }
        if (due > ms) break;
        m_host.FireNext();
    }
    m_host.AdvanceTo(ms);
    return true;
}

bool CShowReplay::Run(const IDetectLauncher& launcher, CReplayFiles& files,
                      IShowRecording* pRecording, std::string& error) {
    CSteppedPassDriver driver;
    g_pDetectShow = new CShowWaveDlg(&launcher, &driver);
    g_bDetectShowOpen = true;
    if (!g_pDetectShow->Create()) {
        error = "the detection window could not play " + launcher.GetAviPath();
        return false;
    }
    CShowWaveDlg& dlg = *g_pDetectShow;
    m_nFramePeriod = dlg.FramePeriod();

    const int nSampleRate = m_mix.SampleRate();
    if (pRecording && !pRecording->Open(files.VideoPartPath(), DETECT_SCREEN_WIDTH,
                                        DETECT_SCREEN_HEIGHT, m_nFramePeriod, nSampleRate, error)) {
        dlg.CloseShow();
        return false;
    }

    const int nBlockFrames = static_cast<int>(nSampleRate * PASS_MS / 1000);
    std::vector<int16_t> block(2 * static_cast<size_t>(nBlockFrames));
    int64_t lastTickMs = 0;
    bool bOk = true;
    for (int64_t ms = 0;; ms += PASS_MS) {
        if (!TickUntil(ms, pRecording)) {
            error = "cannot write the picture";
            bOk = false;
            break;
        }
        driver.Step();
        m_mix.Render(block.data(), nBlockFrames);
        if (!files.WriteMix(block.data(), nBlockFrames) ||
            (pRecording && !pRecording->AddSound(block.data(), nBlockFrames))) {
            error = "cannot write the mix";
            bOk = false;
            break;
        }
        m_nEndMs = ms + PASS_MS;
        if (m_pProgress) m_pProgress->Update(m_nEndMs, PlayedFraction(dlg.Avi().Segment(0)));
        if (m_host.NextDueMs() != INT64_MAX) {
            lastTickMs = ms;
            continue;
        }
        if (BankIdle(dlg) && m_mix.Idle()) break;
        if (ms - lastTickMs > MAX_TAIL_MS) {
            if (m_pProgress) m_pProgress->Clear();
            std::fprintf(stderr,
                         "zarndemo-replay: sounds still waiting %lld s after the show's end "
                         "are left out\n",
                         static_cast<long long>(MAX_TAIL_MS / 1000));
            break;
        }
    }
    if (m_pProgress) m_pProgress->Clear();
    dlg.CloseShow();
    return bOk;
}

std::string CShowReplay::RanksCsv() const {
    std::string csv =
        "tick,frame,time_s,top_cell,top_mean,top_sounded,middle_cell,middle_mean,middle_sounded,"
        "bottom_cell,bottom_mean,bottom_sounded\n";
    for (const Ranking& r : m_rankings) {
        csv += std::to_string(r.nTick) + "," + std::to_string(r.dwFrame) + "," +
               FixedDecimals(static_cast<double>(r.nPlayMs) / 1000.0, 3);
        for (int i = 0; i < 3; ++i)
            csv += "," + CellNumber(r.cells[i]) + "," + FixedDecimals(r.cells[i].dMean, 3) + "," +
                   (r.bSounded[i] ? "1" : "0");
        csv += "\n";
    }
    return csv;
}
