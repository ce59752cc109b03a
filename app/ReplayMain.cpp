// zarndemo-replay: the detection show on a clip and a wave list, with no
// display and no sound device, as fast as the machine allows. See Usage().

#include <unistd.h>

#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/ReplayFiles.h"
#include "app/ReplayLauncher.h"
#include "app/ReplayProgress.h"
#include "app/ReplayWaveList.h"
#include "app/ShowReplay.h"
#include "detect/ShowWaveTap.h"
#include "platform/MessageBox.h"
#include "platform/UserFile.h"
#include "platform/ffmpeg/FfmpegShowRecording.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/qt/QtVirtualShowWindows.h"
#include "platform/sdl/SdlWaveOut.h"
#include "video/AviControl.h"
#include "video/FrameRate.h"

namespace {

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

const char* const USAGE =
    "usage: zarndemo-replay CLIP.avi WAVES.txt -o OUT [--video]\n"
    "\n"
    "Runs the detection show on CLIP.avi with the sounds that WAVES.txt lists,\n"
    "with no display and no sound device, as fast as the machine allows, and\n"
    "writes into the folder OUT (made when missing):\n"
    "\n"
    "  ranks.csv  one row per ranking: the frame tick, the frame ranked, the time\n"
    "             in seconds its sounds were asked for, then for the brightest,\n"
    "             middle and darkest cells the cell number, its mean red level and\n"
    "             whether it sounded (1) or has no sound in the list (0)\n"
    "  mix.wav    everything the sound bank played, mixed as the live output\n"
    "             mixes it: 48000 Hz, 16-bit stereo\n"
    "  show.mkv   with --video: the show window's 1024 x 768 picture at every\n"
    "             frame tick, outlines and numbers included, with the mix as its\n"
    "             sound track (H.264 video, PCM sound)\n"
    "\n"
    "The sounds are read as the launcher reads them: the list's folder, each name\n"
    "with \".wav\", numbered in sorted order. Two runs on the same inputs write the\n"
    "same ranks.csv and mix.wav, byte for byte. Files are written under names of\n"
    "their own and named only when the run has succeeded, all together in place\n"
    "of an older run's files: OUT never holds files of two runs, so a run without\n"
    "--video removes an older show.mkv. A run that fails leaves the older files\n"
    "as they were.\n"
    "On a terminal, one line on standard error follows the show's progress.\n"
    "\n"
    "Exit status: 0 done, 1 the show could not run or its files could not be\n"
    "written, 2 a wrong command line.\n";

struct CommandLine {
    std::string strClip;
    std::string strWaveList;
    std::string strOut;
    bool bVideo = false;
    bool bHelp = false;
};

void Fail(const std::string& what) { std::fprintf(stderr, "zarndemo-replay: %s\n", what.c_str()); }

// False with the reason in error.
bool Parse(int argc, char** argv, CommandLine& cl, std::string& error) {
    int nPositional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            cl.bHelp = true;
        } else if (arg == "--video") {
            cl.bVideo = true;
        } else if (arg == "-o") {
            if (++i == argc) {
                error = "-o needs the output folder after it";
                return false;
            }
            cl.strOut = argv[i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (nPositional == 0) {
            cl.strClip = arg;
            ++nPositional;
        } else if (nPositional == 1) {
            cl.strWaveList = arg;
            ++nPositional;
        } else {
            error = "one clip and one wave list, please; " + arg + " is one too many";
            return false;
        }
    }
    if (cl.bHelp) return true;
    if (nPositional < 2) {
        error = "a clip and a wave list are needed (zarndemo-replay --help)";
        return false;
    }
    if (cl.strOut.empty()) {
        error = "-o OUT names the folder to write into (zarndemo-replay --help)";
        return false;
    }
    return true;
}

// Keeps what the clip reader would show in a message box, for the one line.
class NoteMessageBox final : public IMessageBox {
public:
    void Show(const char* text) override { strText = text ? text : ""; }
    std::string strText;
};

// The clip must be a readable file that the reader plays at 1 to 1000 frames
// per second; otherwise the one line says why.
bool CheckClip(const std::string& path, NoteMessageBox& messages, std::string& error) {
    std::string strWhy;
    if (!OpenUserFile(path.c_str(), strWhy)) {
        error = "cannot read the clip " + path + ": " + strWhy;
        return false;
    }
    CAviControl avi;
    const double dFramesPerSec = avi.Open(path.c_str());
    if (!IsPlayableFrameRate(dFramesPerSec)) {
        error = "cannot play the clip " + path + ": " +
                (!messages.strText.empty() ? messages.strText
                 : dFramesPerSec == 0.0 ? std::string("not a clip with a video stream it can read")
                                        : "it runs at " + std::to_string(dFramesPerSec) +
                                              " frames per second, outside 1 to 1000");
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine cl;
    std::string error;
    if (!Parse(argc, argv, cl, error)) {
        Fail(error);
        return EXIT_USAGE;
    }
    if (cl.bHelp) {
        std::fputs(USAGE, stdout);
        return 0;
    }

    // Drawing and fonts need Qt's GUI, never a display; Qt's own remarks
    // (a missing runtime folder, say) are no concern of a replay's user.
    // Without --video nobody sees the show's picture, so it is not drawn.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "zarndemo-replay: %s\n", text.toLocal8Bit().constData());
    });
    std::unique_ptr<QGuiApplication> pApp;
    if (cl.bVideo) pApp = std::make_unique<QGuiApplication>(argc, argv);

    // Nothing here waits for a clock, so reading ahead would only add hand-overs.
    FfmpegVideoFiles videoFiles(FfmpegVideoFiles::Reading::OnDemand);
    NoteMessageBox messages;
    QtVirtualShowWindows host(cl.bVideo ? QtVirtualShowWindows::Pictures::Kept
                                        : QtVirtualShowWindows::Pictures::None);
    SdlWaveOut::Options pulled;
    pulled.bPulled = true;
    SdlWaveOut waveOut(pulled);
    CShowReplay replay(host, waveOut);
    // For a person watching at a terminal, one line that keeps up with the show.
    CReplayProgress progress(
        isatty(STDERR_FILENO) == 1,
        [](const std::string& text) { std::fputs(text.c_str(), stderr); },
        [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        });
    replay.SetProgress(&progress);
    CShowWaveTap tap(host, replay);
    platform::SetVideoFiles(&videoFiles);
    platform::SetMessageBox(&messages);
    platform::SetShowWindows(&tap);
    platform::SetWaveOut(&waveOut);
    const auto uninstall = [] {
        platform::SetWaveOut(nullptr);
        platform::SetShowWindows(nullptr);
        platform::SetMessageBox(nullptr);
        platform::SetVideoFiles(nullptr);
    };

    CReplayLauncher launcher;
    launcher.strAviPath = cl.strClip;
    ReplayWaves waves;
    CReplayFiles files;
    std::unique_ptr<FfmpegShowRecording> pRecording;
    if (cl.bVideo) pRecording = std::make_unique<FfmpegShowRecording>();
    const bool bOk = CheckClip(cl.strClip, messages, error) &&
                     ReadReplayWaves(cl.strWaveList, waves, error) &&
                     files.Open(cl.strOut, waveOut.SampleRate(), error) &&
                     [&] {
                         launcher.strWaveFolder = waves.strFolder;
                         launcher.waveNames = waves.names;
                         return replay.Run(launcher, files, pRecording.get(), error);
                     }() &&
                     files.Commit(replay.RanksCsv(), pRecording.get(), error);
    uninstall();
    if (!bOk) {
        Fail(error);
        return EXIT_FAILED;
    }
    return 0;
}
