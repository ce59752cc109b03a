#include "app/ZARNDemoMain.h"

#include <sys/stat.h>

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/OscRemote.h"
#include "app/ShowOwner.h"
#include "app/VenueCheck.h"
#include "app/VenueOptions.h"
#include "app/ZARNDemo.h"
#include "detect/RunReport.h"
#include "gateshow/ShowDlg.h"
#include "platform/Capture.h"
#include "platform/CombinedCapture.h"
#include "platform/Dialog.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Osc.h"
#include "platform/ShowWindow.h"
#include "platform/VideoFile.h"
#include "platform/WaveOut.h"
#include "platform/clipcamera/ClipCapture.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/osc/LibloOsc.h"
#include "platform/osc/OscEndpoint.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtFileDialogs.h"
#include "platform/qt/QtMessageBox.h"
#include "platform/qt/QtSessionBus.h"
#include "platform/qt/QtSettingsFile.h"
#include "platform/qt/QtShowWindows.h"
#include "platform/qt/QtSignalWatch.h"
#include "platform/qt/QtUiCalls.h"
#include "platform/sdl/SdlOutputInfo.h"
#include "platform/sdl/SdlWaveOut.h"
#include "platform/systemd/SystemdNotify.h"
#include "platform/v4l2/V4l2Capture.h"
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

// The choices of the command line and, with --venue, of the settings file;
// false when the program should end now with nExit.
bool ReadChoices(int argc, char** argv, VenueChoices& choices, int& nExit) {
    const VenueArgs args = ParseVenueArgs(std::vector<std::string>(argv + 1, argv + argc));
    if (!args.errors.empty()) {
        for (const std::string& error : args.errors)
            std::fprintf(stderr, "zarndemo: %s\n", error.c_str());
        std::fprintf(stderr, "zarndemo --help lists the options\n");
        nExit = 2;
        return false;
    }
    if (args.choices.bHelp || args.choices.bVersion) {
        std::fputs(args.choices.bHelp ? VenueHelpText().c_str() : "zarndemo " ZARN_VERSION "\n",
                   stdout);
        nExit = 0;
        return false;
    }
    VenueSettings settings;
    if (args.choices.bVenue) {
        const std::string path = VenueSettingsPath();
        std::string error;
        if (!ReadSettingsFile(path, settings, error))
            std::fprintf(stderr, "zarndemo: venue settings %s: %s; the command line alone counts\n",
                         path.c_str(), error.c_str());
    }
    std::vector<std::string> notes;
    choices = MergeVenueSettings(settings, args, notes);
    for (const std::string& note : notes) std::fprintf(stderr, "zarndemo: %s\n", note.c_str());
    return true;
}

// The environment's OSC addresses, overridden by the venue's.
LibloOsc::Config OscConfig(const VenueChoices& choices) {
    LibloOsc::Config config = LibloOsc::FromEnvironment();
    OscEndpoint endpoint;
    if (!choices.strOscOut.empty()) {
        if (ParseOscEndpoint(choices.strOscOut, nullptr, endpoint)) {
            config.strOutHost = endpoint.strHost;
            config.strOutPort = endpoint.strPort;
        } else {
            std::fprintf(stderr,
                         "zarndemo: osc_out %s is not host:port (port 1 to 65535); ignored\n",
                         choices.strOscOut.c_str());
        }
    }
    if (!choices.strOscIn.empty()) {
        if (ParseOscEndpoint(choices.strOscIn, "127.0.0.1", endpoint)) {
            config.strInAddr = endpoint.strHost;
            config.strInPort = endpoint.strPort;
        } else {
            std::fprintf(stderr,
                         "zarndemo: osc_in %s is not a port or address:port (port 1 to 65535); "
                         "ignored\n",
                         choices.strOscIn.c_str());
        }
    }
    return config;
}

// Screen N of the desktop's list, or the one of that name; null, said in one
// line, when there is none such.
QScreen* FindScreen(const std::string& strScreen) {
    if (strScreen.empty()) return nullptr;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* pScreen : screens)
        if (pScreen->name().toStdString() == strScreen) return pScreen;
    bool bNumber = false;
    const int n = QString::fromStdString(strScreen).toInt(&bNumber);
    if (bNumber && n >= 0 && n < screens.size()) return screens[n];
    std::string names;
    for (int i = 0; i < screens.size(); ++i)
        names += (i ? ", " : "") + std::to_string(i) + " " + screens[i]->name().toStdString();
    std::fprintf(stderr, "zarndemo: no screen %s (there are: %s); the shows use the first\n",
                 strScreen.c_str(), names.c_str());
    return nullptr;
}

// The command line's or the settings' choice, else the environment's.
std::string ChoiceOrEnv(const std::string& strChoice, const char* pszEnv) {
    if (!strChoice.empty() || !HasEnv(pszEnv)) return strChoice;
    return std::getenv(pszEnv);
}

int CameraDetectOf(const VenueChoices& choices) {
    const std::string mode = ChoiceOrEnv(choices.strCameraDetect, "ZARNDEMO_CAMERA_DETECT");
    if (mode.empty()) return CAMERA_DETECT_OFF;
    if (mode == "level") return CAMERA_DETECT_LEVEL;
    if (mode == "motion") return CAMERA_DETECT_MOTION;
    std::fprintf(stderr,
                 "zarndemo: ZARNDEMO_CAMERA_DETECT=%s is not level or motion; camera shows rank "
                 "nothing\n",
                 mode.c_str());
    return CAMERA_DETECT_OFF;
}

LauncherStart StartOf(const VenueChoices& choices) {
    LauncherStart start;
    start.strWaveList = choices.strWaveList;
    start.strClip = choices.strClip;
    start.nCamera = choices.nCamera;
    start.bGate = choices.bGate;
    start.bRepeat = choices.bRepeat;
    start.nCameraDetect = CameraDetectOf(choices);
    return start;
}

// What the service manager is told once the launcher's own start is done.
std::string StartStatus(const VenueChoices& choices) {
    if (ShowOwner().DetectShowOpen()) return "detection show playing";
    if (ShowOwner().GateShowOpen()) return "gate show playing";
    if (choices.StartsShow()) return "the show did not open; the launcher waits";
    return "launcher waiting";
}

// The cameras as the launcher lists them: the real ones, and after them a
// clip named to stand in for a camera.
struct CameraServices {
    CameraServices(IVideoFiles& files, const std::string& strClip)
        : pClipCamera(strClip.empty() ? nullptr : std::make_unique<ClipCapture>(files, strClip)),
          pCombined(pClipCamera ? std::make_unique<CombinedCapture>(cameras, *pClipCamera)
                                : nullptr) {}

    ICapture& Service() { return pCombined ? static_cast<ICapture&>(*pCombined) : cameras; }

    V4l2Capture cameras;
    std::unique_ptr<ClipCapture> pClipCamera;
    std::unique_ptr<CombinedCapture> pCombined;
};

// --check: the venue's readiness, with nothing opened on screen.
int CheckVenue(int argc, char** argv, const VenueChoices& choices) {
    VenueFacts facts;
    const SoundOutputInfo sound = DescribeSoundOutput();
    facts.bSoundFound = sound.bFound;
    facts.strSound =
        sound.bFound
            ? sound.strDriver + ", " + sound.strDevice +
                  (sound.nRate > 0 ? ", " + std::to_string(sound.nRate) + " Hz" : std::string())
            : "none (" + sound.strWhy + ")";
    facts.strGateClip = GateClipPath();
    facts.bDisplay = HasDisplay();
    std::unique_ptr<QGuiApplication> app;
    if (facts.bDisplay) {
        app = std::make_unique<QGuiApplication>(argc, argv);
        for (const QScreen* pScreen : QGuiApplication::screens()) {
            const QRect area = pScreen->geometry();
            facts.screens.push_back(VenueScreen{pScreen->name().toStdString(), area.x(), area.y(),
                                                area.width(), area.height()});
        }
    }
    FfmpegVideoFiles videoFiles;
    CameraServices cameras(videoFiles, ChoiceOrEnv(choices.strCameraClip, "ZARNDEMO_CAMERA_CLIP"));
    platform::SetVideoFiles(&videoFiles);
    platform::SetCapture(&cameras.Service());
    const int nStatus = RunVenueCheck(choices, facts, stdout);
    platform::SetCapture(nullptr);
    platform::SetVideoFiles(nullptr);
    return nStatus;
}

}  // namespace

int ZarnDemoMain(int argc, char** argv) {
    VenueChoices choices;
    int nExit = 0;
    if (!ReadChoices(argc, argv, choices, nExit)) return nExit;
    if (choices.bCheck) return CheckVenue(argc, argv, choices);

    CheckGateClip();
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "zarndemo: no display to open the launcher on (DISPLAY and WAYLAND_DISPLAY "
                     "are not set)\n");
        return 1;
    }

    KeepSessionBusFromAutolaunch();
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
        showWindows.SetScreen(FindScreen(choices.strScreen));
        showWindows.SetKiosk(choices.bKiosk);
        CShowWaveTap reportTap(showWindows, report);
        QtDialogs dialogs(&showWindows);
        QtFileDialogs fileDialogs;
        SdlWaveOut::Options audio;
        audio.probe = {&CRunReport::NoteFirstTake, &report};
        SdlWaveOut waveOut(audio);
        CameraServices cameras(videoFiles,
                               ChoiceOrEnv(choices.strCameraClip, "ZARNDEMO_CAMERA_CLIP"));
        // What other programs send reaches the program through the event loop.
        QtUiCalls uiCalls;
        LibloOsc osc(OscConfig(choices), uiCalls.Poster());
        platform::SetVideoFiles(&videoFiles);
        platform::SetMessageBox(&messageBox);
        platform::SetShowWindows(&reportTap);
        platform::SetDialogs(&dialogs);
        platform::SetFileDialogs(&fileDialogs);
        platform::SetWaveOut(&waveOut);
        platform::SetCapture(&cameras.Service());
        platform::SetOsc(&osc);
        // Takes /zarn/play and /zarn/stop to the end; the show windows' last
        // messages go out as osc ends, after them.
        COscRemote remote;

        // A service manager that started the program hears when the show is
        // up, and a beat from this thread while it runs.
        SystemdNotify notify;
        QTimer watchdog;
        if (notify.WatchdogInterval().count() > 0) {
            QObject::connect(&watchdog, &QTimer::timeout, [&notify] { notify.Watchdog(); });
            watchdog.start(notify.WatchdogInterval());
        }
        LauncherStart start = StartOf(choices);
        start.onStarted = [&notify, &choices] { notify.Ready(StartStatus(choices)); };
        theApp.SetStart(std::move(start));

        theApp.InitInstance();
        notify.Stopping();
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
