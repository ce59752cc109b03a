#include "app/ZARNDemoMain.h"

#include <sys/stat.h>

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/OscRemote.h"
#include "app/ZARNDemo.h"
#include "gateshow/ShowDlg.h"
#include "platform/Capture.h"
#include "platform/Dialog.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Osc.h"
#include "platform/ShowWindow.h"
#include "platform/VideoFile.h"
#include "platform/WaveOut.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/osc/LibloOsc.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtFileDialogs.h"
#include "platform/qt/QtMessageBox.h"
#include "platform/qt/QtShowWindows.h"
#include "platform/qt/QtSignalWatch.h"
#include "platform/qt/QtUiCalls.h"
#include "platform/sdl/SdlWaveOut.h"
#include "platform/v4l2/V4l2Capture.h"
#include "detect/RunReport.h"
#include "res/Resources.h"

namespace {

bool HasEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Qt aborts when it cannot reach a display; say why in one line instead.
bool HasDisplay() {
    return HasEnv("QT_QPA_PLATFORM") || HasEnv("DISPLAY") || HasEnv("WAYLAND_DISPLAY");
}

// The gate show's clip comes with the program; without it the installation
// is broken, which is worth one line at start.
void CheckGateClip() {
    const std::string clip = GateClipPath();
    struct stat st {};
    if (clip.empty() || stat(clip.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        std::fprintf(stderr, "zarndemo: the gate show's clip is missing: %s\n",
                     clip.empty() ? "(the program's data folder is unknown)" : clip.c_str());
}

// Each detection show is reported when it ends: on standard error, and as
// JSON into the file that ZARNDEMO_REPORT names.
CRunReport::Options ReportOptions() {
    CRunReport::Options options;
    options.nowUs = [] {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    if (HasEnv("ZARNDEMO_REPORT")) options.strJsonPath = std::getenv("ZARNDEMO_REPORT");
    return options;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (const IconImage& image : AppIcon().images) icon.addPixmap(QPixmap(image.ppXpm));
    return icon;
}

}  // namespace

int ZarnDemoMain(int argc, char** argv, const ZarnDemoHooks& hooks) {
    CheckGateClip();
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "zarndemo: no display to open the launcher on (DISPLAY and WAYLAND_DISPLAY "
                     "are not set)\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("ZARNDemo");
    QGuiApplication::setDesktopFileName("zarndemo");
    QApplication::setWindowIcon(ApplicationIcon());

    // A signal ends every modal run under way; the launcher's run returns
    // and the program ends as if it had been closed.
    int nExitCode = 0;
    QtSignalWatch signalWatch([&nExitCode](int nSignal) {
        if (nExitCode == 0) nExitCode = 128 + nSignal;
        QCoreApplication::exit(nExitCode);
    });

    {
        // The report outlives the output whose mixing thread notes sounds
        // for it, and the tap it watches the shows through.
        CRunReport report(ReportOptions());
        FfmpegVideoFiles videoFiles;
        QtMessageBox messageBox;
        QtShowWindows showWindows;
        CShowWaveTap reportTap(showWindows, report);
        QtDialogs dialogs(&showWindows);
        QtFileDialogs fileDialogs;
        SdlWaveOut::Options audio;
        audio.probe = {&CRunReport::NoteFirstTake, &report};
        SdlWaveOut waveOut(audio);
        V4l2Capture capture;
        // What other programs send reaches the program through the event loop.
        QtUiCalls uiCalls;
        LibloOsc osc(LibloOsc::FromEnvironment(), uiCalls.Poster());
        platform::SetVideoFiles(&videoFiles);
        platform::SetMessageBox(&messageBox);
        platform::SetShowWindows(&reportTap);
        platform::SetDialogs(&dialogs);
        platform::SetFileDialogs(hooks.pFileDialogs ? hooks.pFileDialogs : &fileDialogs);
        platform::SetWaveOut(&waveOut);
        platform::SetCapture(&capture);
        platform::SetOsc(&osc);
        // Takes /zarn/play and /zarn/stop to the end; the show windows' last
        // messages go out as osc ends, after them.
        COscRemote remote;

        if (hooks.onStarted) hooks.onStarted();
        theApp.InitInstance();
        theApp.ExitInstance();
        // Windows destroyed during their own events wait for this.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        platform::SetOsc(nullptr);
        platform::SetCapture(nullptr);
        platform::SetWaveOut(nullptr);
        platform::SetFileDialogs(nullptr);
        platform::SetDialogs(nullptr);
        platform::SetShowWindows(nullptr);
        platform::SetMessageBox(nullptr);
        platform::SetVideoFiles(nullptr);
    }

    if (nExitCode == 0)
        if (const int nSignal = signalWatch.TakePending()) nExitCode = 128 + nSignal;
    return nExitCode;
}
