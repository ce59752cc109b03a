#pragma once
// Runs one detection show in virtual time, as fast as the machine allows: the
// live window object, its sound bank and the mixer, with only time and host
// changed. The host's timers tick in order of their virtual due times; at
// every 10 virtual milliseconds the bank's pass runs (after the ticks due by
// then) and the next 10 ms of mix is pulled, so every pass, callback and
// mix happens at a defined virtual time and two runs come out the same.
//
// The caller installs the services first: the virtual host as show windows,
// through a CShowWaveTap whose observer is this replay; the pulled output as
// the wave output; the video files.

#include <cstdint>
#include <string>
#include <vector>

#include "detect/CellScore.h"
#include "detect/ShowWaveTap.h"

class CReplayFiles;
class CReplayProgress;
class IDetectLauncher;
class IPulledMix;
class IShowRecording;
class IVirtualShowWindows;

class CShowReplay final : public IShowWaveObserver {
public:
    // One ranking and the play tick that followed it.
    struct Ranking {
        int nTick = 0;            // frame ticks counted from 1
        uint32_t dwFrame = 0;     // the frame whose copy was ranked
        int64_t nPlayMs = 0;      // when its sounds were asked for
        CellScore cells[3] = {};  // top, middle, bottom
        bool bSounded[3] = {};
    };

    CShowReplay(IVirtualShowWindows& host, IPulledMix& mix);

    // Runs the show of the launcher's clip and sounds to its end and on
    // until every sound has played out, writing the mix into files and, with
    // a recording (opened here, on the files' video part), the window's
    // picture at every frame tick with the mix as sound. False with one line
    // in error.
    bool Run(const IDetectLauncher& launcher, CReplayFiles& files, IShowRecording* pRecording,
             std::string& error);
    // Told after every pass how far the show has got, and wiped when Run
    // ends; not owned.
    void SetProgress(CReplayProgress* pProgress) { m_pProgress = pProgress; }

    const std::vector<Ranking>& Rankings() const { return m_rankings; }
    // The rankings as ranks.csv holds them, header first.
    std::string RanksCsv() const;
    // Virtual time the show ran, sounds played out, in milliseconds.
    int64_t DurationMs() const { return m_nEndMs; }
    // The frame period of the show, once Run has opened the window.
    unsigned FramePeriod() const { return m_nFramePeriod; }

    void OnShowStart(const CShowWaveDlg& dlg) override;
    void AfterTick(const CShowWaveDlg& dlg, const ShowWaveTick& tick) override;

private:
    bool TickUntil(int64_t ms, IShowRecording* pRecording);
    static bool BankIdle(const CShowWaveDlg& dlg);

    IVirtualShowWindows& m_host;
    IPulledMix& m_mix;
    std::vector<Ranking> m_rankings;
    int m_nFrameTicks = 0;
    int64_t m_nPictureMs = -1;  // a frame tick's picture waits for the ticks of its instant
    int64_t m_nEndMs = 0;
    unsigned m_nFramePeriod = 0;
    CReplayProgress* m_pProgress = nullptr;
};
