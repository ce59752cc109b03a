#pragma once
// The one owner of the show objects. The launcher opens shows through it,
// other programs (OSC) stop them and play sounds through it, and the
// program's end takes them down through it; nobody else reaches
// g_pDetectShow or g_pGateShow.
//
// A show is never reached from outside while it is inside its own Create:
// its start-up can spin a nested event loop (the "Don't find codepack" box),
// which runs whatever other programs sent meanwhile, and a close run then
// would delete the object under its own initialisation. A stop asked for
// while a show starts is carried out once its Create has returned; a sound
// asked for then is refused.
// Used on the user-interface thread only.

#include <cstdint>

class IDetectLauncher;

class CShowOwner {
public:
    // The launcher's commands: closes the open show of the kind, then makes,
    // creates, shows and paints a new one. A show of the kind that is still
    // starting is left alone, with one line on standard error.
    void OpenDetectShow(const IDetectLauncher& launcher);
    void OpenGateShow();

    // As a right click in each open show. False when no show is open or
    // starting.
    bool StopShows();

    enum class Play { PLAYED, NO_SHOW, STARTING, REFUSED };
    // A sound of the open detection window's bank, as a ranking plays it;
    // nWaves is the number of sounds the bank holds.
    Play PlayWave(int32_t nClip, uint32_t& nWaves);

    // Whether a show of the kind stands (started and not closed).
    bool DetectShowOpen() const;
    bool GateShowOpen() const;

    // The launcher's end: a gate show still open is deleted with its window.
    void DeleteGateShow();
    // The program's end: every show still standing goes.
    void EndShows();

private:
    struct Starting {
        bool bStarting = false;
        bool bStopAsked = false;
    };

    Starting m_detect;
    Starting m_gate;
};

// The process's owner of show objects.
CShowOwner& ShowOwner();
