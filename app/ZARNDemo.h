#pragma once
// The application object: runs the launcher modally; the program ends when
// the launcher closes.

#include <utility>

#include "app/ZARNDemoDlg.h"

class CZARNDemoApp {
public:
    // What the launcher does by itself once it is on screen; nothing by
    // default.
    void SetStart(LauncherStart start) { m_start = std::move(start); }
    // Runs the launcher as the main window and returns 0 (FALSE) once it has
    // closed: there is no message loop after it.
    int InitInstance();
    // Closes every show window still open, so that their objects, sound
    // banks and clip readers are gone before the platform's services are.
    int ExitInstance();

private:
    LauncherStart m_start;
};

extern CZARNDemoApp theApp;
