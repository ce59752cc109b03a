#pragma once
// The program from start to end: the platform's services are installed, the
// application object runs, and everything is taken down in order: show
// windows (with their sound banks and clip readers) first, then the
// services. SIGINT and SIGTERM end the program the same way, through the
// event loop, with the exit status 128 + the signal's number; when the loop
// does not get there within 2 s (a hung call), or on a second signal, the
// process ends without the orderly steps, with the same status.

#include <functional>

class IFileDialogs;

struct ZarnDemoHooks {
    // Used instead of Qt's file dialogs when set.
    IFileDialogs* pFileDialogs = nullptr;
    // Called once the services are installed, just before the launcher runs.
    std::function<void()> onStarted;
};

int ZarnDemoMain(int argc, char** argv, const ZarnDemoHooks& hooks = {});
