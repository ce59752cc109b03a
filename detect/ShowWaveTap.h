#pragma once
// Stands between the show-window host and every detection window it makes,
// and tells an observer what each of the window's messages did. The window's
// own code stays as it is, and whatever the observer counts or times stays
// outside it. Other show windows pass through untouched.

#include <cstdint>

#include "platform/ShowWindow.h"

class CShowWaveDlg;

// What one timer message of a detection window did.
struct ShowWaveTick {
    uintptr_t nIDEvent = 0;
    bool bDrewFrame = false;  // a frame tick that went on: the clip or the camera still runs
    bool bRanked = false;     // a frame tick that ranked the grid and armed the play tick
    bool bPlayed = false;     // the play tick: the chosen cells' sounds were asked for
};

// Called on the user-interface thread; the window is read, never changed.
class IShowWaveObserver {
public:
    virtual ~IShowWaveObserver() = default;
    // The window has initialised and stands.
    virtual void OnShowStart(const CShowWaveDlg& /*dlg*/) {}
    // A timer message is about to be handled.
    virtual void BeforeTick(const CShowWaveDlg& /*dlg*/, uintptr_t /*nIDEvent*/) {}
    // It has been handled; the window still stands.
    virtual void AfterTick(const CShowWaveDlg& /*dlg*/, const ShowWaveTick& /*tick*/) {}
    // The window is gone, its object with it. Only after OnShowStart.
    virtual void OnShowEnd() {}
};

class CShowWaveTap final : public IShowWindows {
public:
    // Neither is owned; both outlive every window made through the tap.
    CShowWaveTap(IShowWindows& host, IShowWaveObserver& observer);

    IShowWindow* Create(IShowWindowHandler& handler) override;

private:
    IShowWindows& m_host;
    IShowWaveObserver& m_observer;
};
