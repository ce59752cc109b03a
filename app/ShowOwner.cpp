#include "app/ShowOwner.h"

#include <cstdio>

#include "detect/ShowWaveDlg.h"
#include "gateshow/ShowDlg.h"

namespace {

// Marks a kind as starting for the length of its Create.
class StartingScope {
public:
    explicit StartingScope(bool& bStarting) : m_bStarting(bStarting) { m_bStarting = true; }
    ~StartingScope() { m_bStarting = false; }
    StartingScope(const StartingScope&) = delete;
    StartingScope& operator=(const StartingScope&) = delete;

private:
    bool& m_bStarting;
};

// Creates the show while its kind counts as starting. True when the show
// stands afterwards and nobody asked for a stop meanwhile; a stop asked for
// is carried out here, as a right click would.
template <class Show>
bool StartShow(Show* pShow, bool& bStarting, bool& bStopAsked) {
    bStopAsked = false;
    bool bCreated = false;
    {
        StartingScope scope(bStarting);
        bCreated = pShow->Create();
    }
    if (!bCreated) return false;
    if (bStopAsked) {
        bStopAsked = false;
        pShow->OnRButtonDown(MK_RBUTTON, 0, 0);
        return false;
    }
    return true;
}

}  // namespace

CShowOwner& ShowOwner() {
    static CShowOwner owner;
    return owner;
}

void CShowOwner::OpenDetectShow(const IDetectLauncher& launcher) {
    if (m_detect.bStarting) {
        std::fprintf(stderr, "detection window: still starting; the new one is not opened\n");
        return;
    }
    if (g_bDetectShowOpen) {
        // Null when the last window gave up during its start-up.
        if (g_pDetectShow) g_pDetectShow->CloseShow();
        g_bDetectShowOpen = false;
    }
    g_bDetectShowOpen = true;
    CShowWaveDlg* pShow = new CShowWaveDlg(&launcher);
    g_pDetectShow = pShow;
    // A window that does not survive its start-up is gone with its object
    // already and must not be reached again.
    if (!StartShow(pShow, m_detect.bStarting, m_detect.bStopAsked)) {
        g_bDetectShowOpen = false;
        return;
    }
    pShow->GetWindow()->Show(true);
    pShow->GetWindow()->Update();
}

void CShowOwner::OpenGateShow() {
    if (m_gate.bStarting) {
        std::fprintf(stderr, "gate show: still starting; the new one is not opened\n");
        return;
    }
    if (g_bGateShowOpen) {
        if (g_pGateShow) g_pGateShow->CloseShow();
        g_pGateShow = nullptr;
    }
    g_bGateShowOpen = true;
    CShowDlg* pShow = new CShowDlg();
    g_pGateShow = pShow;
    // A show whose clip cannot play is gone with its object already.
    if (!StartShow(pShow, m_gate.bStarting, m_gate.bStopAsked)) {
        g_bGateShowOpen = false;
        return;
    }
    pShow->GetWindow()->Show(true);
    pShow->GetWindow()->Update();
}

bool CShowOwner::StopShows() {
    bool bAny = false;
    if (m_detect.bStarting) {
        m_detect.bStopAsked = true;
        bAny = true;
    } else if (g_pDetectShow) {
        // The window goes with its object during the call.
        g_pDetectShow->OnRButtonDown(MK_RBUTTON, 0, 0);
        bAny = true;
    }
    if (m_gate.bStarting) {
        m_gate.bStopAsked = true;
        bAny = true;
    } else if (g_pGateShow) {
        g_pGateShow->OnRButtonDown(MK_RBUTTON, 0, 0);
        bAny = true;
    }
    return bAny;
}

CShowOwner::Play CShowOwner::PlayWave(int32_t nClip, uint32_t& nWaves) {
    nWaves = 0;
    if (m_detect.bStarting) return Play::STARTING;
    if (!g_pDetectShow) return Play::NO_SHOW;
    nWaves = g_pDetectShow->WaveCount();
    if (nClip >= 0 && g_pDetectShow->PlayWave(static_cast<uint32_t>(nClip)) > 0)
        return Play::PLAYED;
    return Play::REFUSED;
}

bool CShowOwner::DetectShowOpen() const { return !m_detect.bStarting && g_pDetectShow; }

bool CShowOwner::GateShowOpen() const { return !m_gate.bStarting && g_pGateShow; }

void CShowOwner::DeleteGateShow() {
    if (!g_bGateShowOpen) return;
    // Its destructor takes its window down too.
    delete g_pGateShow;
    g_pGateShow = nullptr;
    g_bGateShowOpen = false;
}

void CShowOwner::EndShows() {
    // The launcher's end takes its windows along; this only catches a window
    // that outlived it.
    if (g_pDetectShow) g_pDetectShow->CloseShow();
    g_bDetectShowOpen = false;
    delete g_pGateShow;
    g_pGateShow = nullptr;
    g_bGateShowOpen = false;
}
