// The whole program as main runs it, offscreen: driven by clicks through the
// samples, and ended by signals.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/ZARNDemoMain.h"
#include "platform/qt/QtDialog.h"
#include "platform/qt/QtShowWindow.h"
#include "platform/qt/QtSignalWatch.h"
#include "res/resource.h"
#include "tests/support/ClipWriter.h"

namespace {

const std::string SAMPLES = ZARN_SAMPLES_DIR;
// The sample clip runs at 25 frames per second: a ranking every 21 ticks of
// 40 ms, its sounds one tick later.
constexpr double RANKING_INTERVAL_SEC = 21 * 0.040;

QtShowWindow* DetectionWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* show = qobject_cast<QtShowWindow*>(w); show && show->isVisible()) return show;
    return nullptr;
}

// Runs inside every application object the program makes: what a test
// wants done once the program's event loop runs.
std::function<void()> g_onAppStart;
void RunOnAppStart() {
    if (g_onAppStart) QTimer::singleShot(0, g_onAppStart);
}
Q_COREAPP_STARTUP_FUNCTION(RunOnAppStart)

// Answers the next file dialog with path, as a person picking it would.
void PickInNextFileDialog(const std::string& path) {
    QTimer::singleShot(50, [path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << "no file dialog for " << path;
        // Typed into the name field, as a person does, and confirmed.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(path));
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

QtDialog* Launcher() { return qobject_cast<QtDialog*>(QApplication::activeModalWidget()); }

// Once the launcher runs, clicks through "Wave Open", "등록", "Avi Open" and
// "Show and Detect and wave play" with the samples chosen in the file
// dialogs; then() runs msAfter milliseconds later with the launcher.
void ClickThroughSamples(int msAfter, std::function<void(QtDialog&)> then) {
    g_onAppStart = [msAfter, then] {
        QtDialog* launcher = Launcher();
        ASSERT_NE(launcher, nullptr);
        const auto click = [launcher](int nId) {
            qobject_cast<QAbstractButton*>(launcher->Control(nId))->click();
        };
        PickInNextFileDialog(SAMPLES + "/waves/waves.txt");
        click(IDC_WAVE_OPEN);
        click(IDC_WAVE_REGISTER);
        PickInNextFileDialog(SAMPLES + "/stage.avi");
        click(IDC_AVI_OPEN);
        click(IDC_SHOW_DETECT);
        QTimer::singleShot(msAfter, [launcher, then] { then(*launcher); });
    };
}

int RunProgram(std::vector<std::string> args = {}) {
    args.insert(args.begin(), "zarndemo");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int nExit = ZarnDemoMain(static_cast<int>(args.size()), argv.data());
    g_onAppStart = nullptr;
    return nExit;
}

// A 16-bit stereo WAV file whose header's sizes agree with the file; the
// samples of the first channel, scaled to -1 .. 1. Empty when it is not.
struct Mix {
    bool bComplete = false;
    uint32_t nRate = 0;
    std::vector<float> left;
};

uint32_t Le32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

Mix ReadMix(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Mix mix;
    if (b.size() < 44 || b.compare(0, 4, "RIFF") != 0 || b.compare(36, 4, "data") != 0) return mix;
    mix.bComplete = Le32(b, 4) == b.size() - 8 && Le32(b, 40) == b.size() - 44 &&
                    uint8_t(b[22]) == 2 && uint8_t(b[34]) == 16;
    mix.nRate = Le32(b, 24);
    for (size_t at = 44; at + 4 <= b.size(); at += 4)
        mix.left.push_back(float(int16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8)) / 32768.0f);
    return mix;
}

// Times, in seconds from the file's start, at which sound begins after at
// least 0.1 s of quiet (or at the start), in blocks of 10 ms.
std::vector<double> SoundOnsets(const Mix& mix) {
    std::vector<double> onsets;
    const size_t block = mix.nRate / 100;
    int quietBlocks = 10;
    for (size_t at = 0; block && at + block <= mix.left.size(); at += block) {
        double sum = 0;
        for (size_t i = at; i < at + block; ++i) sum += double(mix.left[i]) * mix.left[i];
        const bool bLoud = std::sqrt(sum / block) > 0.01;
        if (bLoud && quietBlocks >= 10) onsets.push_back(double(at) / mix.nRate);
        quietBlocks = bLoud ? 0 : quietBlocks + 1;
    }
    return onsets;
}

TEST(Program, ClickedThroughTheSamplesItSoundsTheRankingsAndLeavesScreenshots) {
    const std::string mixPath = TestDataPath("program-mix.wav");
    std::remove(mixPath.c_str());
    setenv("ZARNDEMO_AUDIO_FILE", mixPath.c_str(), 1);
    const QString shots = QString::fromUtf8(ZARN_SCREENSHOT_DIR);
    QDir().mkpath(shots);

    bool bDetecting = false;
    QImage frame;
    ClickThroughSamples(3000, [&](QtDialog& launcher) {
        if (QtShowWindow* w = DetectionWindow()) {
            bDetecting = true;
            frame = w->grab().toImage();
            frame.save(shots + "/detection.png");
        }
        launcher.grab().save(shots + "/launcher.png");
        launcher.reject();  // as Escape does
    });
    EXPECT_EQ(RunProgram(), 0);
    unsetenv("ZARNDEMO_AUDIO_FILE");

    ASSERT_TRUE(bDetecting);
    // The clip's bright shapes show through the grey copy.
    int nBright = 0;
    for (int y = 0; y < frame.height(); y += 4)
        for (int x = 0; x < frame.width(); x += 4) nBright += qRed(frame.pixel(x, y)) > 150;
    EXPECT_GT(nBright, 100);

    const Mix mix = ReadMix(mixPath);
    ASSERT_TRUE(mix.bComplete);
    // The file starts with the first ranking's sounds; two more rankings
    // fall into the three seconds.
    const std::vector<double> onsets = SoundOnsets(mix);
    ASSERT_GE(onsets.size(), 3u);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(onsets[k], k * RANKING_INTERVAL_SEC, 0.15) << "ranking " << k;
}

struct SignalCase {
    const char* pszName;
    int nSignal;
    bool bMixFile;  // the mix goes to a file rather than SDL's dummy device
};
void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.pszName; }

class ProgramSignals : public ::testing::TestWithParam<SignalCase> {};

// Waits up to ms for the child to end.
bool WaitForExit(pid_t pid, int ms, int& status) {
    for (int waited = 0; waited <= ms; waited += 10) {
        if (waitpid(pid, &status, WNOHANG) == pid) return true;
        usleep(10000);
    }
    return false;
}

// True once the child has written a byte to fd within 30 s; otherwise the
// child is killed and reaped. Closes fd.
bool AwaitReady(pid_t pid, int fd) {
    pollfd p{fd, POLLIN, 0};
    char byte = 0;
    const bool bReady = poll(&p, 1, 30000) == 1 && read(fd, &byte, 1) == 1;
    close(fd);
    if (!bReady) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return bReady;
}

TEST_P(ProgramSignals, EndTheProgramInOrder) {
    const SignalCase& c = GetParam();
    const std::string mixPath = TestDataPath(std::string("program-signal-") + c.pszName + ".wav");
    std::remove(mixPath.c_str());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(ready[0]);
        if (c.bMixFile)
            setenv("ZARNDEMO_AUDIO_FILE", mixPath.c_str(), 1);
        else
            unsetenv("ZARNDEMO_AUDIO_FILE");
        // Ready once the detection window, started from the command line,
        // has sounded its first ranking.
        const int fd = ready[1];
        g_onAppStart = [fd] {
            QTimer::singleShot(1500, [fd] {
                if (DetectionWindow()) [[maybe_unused]]
                    auto n = write(fd, "R", 1);
            });
        };
        _exit(RunProgram(
            {"--detect", SAMPLES + "/stage.avi", "--waves", SAMPLES + "/waves/waves.txt"}));
    }
    close(ready[1]);
    if (!AwaitReady(pid, ready[0])) FAIL() << "the program never showed the detection window";

    kill(pid, c.nSignal);
    int status = 0;
    if (!WaitForExit(pid, 2000, status)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        FAIL() << "still running 2 s after the signal";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + c.nSignal);
    if (c.bMixFile) {
        const Mix mix = ReadMix(mixPath);
        EXPECT_TRUE(mix.bComplete);
        EXPECT_FALSE(mix.left.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Program, ProgramSignals,
                         ::testing::Values(SignalCase{"TermWithMixFile", SIGTERM, true},
                                           SignalCase{"IntWithSdlDevice", SIGINT, false}),
                         [](const auto& info) { return info.param.pszName; });

// Started by a service manager (NOTIFY_SOCKET names its socket), the
// program says it is ready once the show plays, and a watchdog beat keeps
// coming from its user-interface thread.
TEST(Program, TellsTheServiceManagerWhenTheShowIsUpAndBeatsWhileItRuns) {
    const std::string socketPath = TestDataPath("notify-" + std::to_string(getpid()));
    ::unlink(socketPath.c_str());
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fd);
        setenv("NOTIFY_SOCKET", socketPath.c_str(), 1);
        setenv("WATCHDOG_USEC", "400000", 1);
        unsetenv("ZARNDEMO_AUDIO_FILE");
        _exit(RunProgram({"--detect", SAMPLES + "/stage.avi", "--waves",
                          SAMPLES + "/waves/waves.txt"}));
    }
    std::vector<std::string> messages;
    int nBeats = 0;
    bool bReady = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (nBeats < 3 && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 500) != 1) continue;
        char buffer[512];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) continue;
        messages.emplace_back(buffer, static_cast<size_t>(n));
        if (messages.back().find("READY=1") != std::string::npos) bReady = true;
        // Beats that count come once the show is up.
        if (bReady && messages.back() == "WATCHDOG=1") ++nBeats;
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fd);
    ::unlink(socketPath.c_str());

    const auto ready = std::find_if(messages.begin(), messages.end(), [](const std::string& m) {
        return m.find("READY=1") != std::string::npos;
    });
    ASSERT_NE(ready, messages.end());
    EXPECT_EQ(*ready, "READY=1\nSTATUS=detection show playing");
    EXPECT_EQ(nBeats, 3);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM);
}

struct StuckCase {
    const char* pszName;
    std::vector<int> sent;  // signals sent one right after the other
    const char* pszSays;    // in the one line about the end
};
void PrintTo(const StuckCase& c, std::ostream* os) { *os << c.pszName; }

class ProgramStuck : public ::testing::TestWithParam<StuckCase> {};

// The user-interface thread hangs in a blocking read that it retries when
// interrupted, so the event loop never sees the signal: the watchdog ends
// the program after its bound, or a second signal at once.
TEST_P(ProgramStuck, EndsAllTheSame) {
    const StuckCase& c = GetParam();
    const std::string errPath = TestDataPath(std::string("program-stuck-") + c.pszName + ".txt");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(ready[0]);
        if (!std::freopen(errPath.c_str(), "w", stderr)) _exit(126);
        unsetenv("ZARNDEMO_AUDIO_FILE");
        const int fd = ready[1];
        g_onAppStart = [fd] {
            QTimer::singleShot(0, [fd] {
                int never[2];
                if (pipe(never) != 0) _exit(125);
                [[maybe_unused]] auto n = write(fd, "R", 1);
                char byte;
                while (read(never[0], &byte, 1) < 0 && errno == EINTR) {
                }
            });
        };
        _exit(RunProgram());
    }
    close(ready[1]);
    if (!AwaitReady(pid, ready[0])) FAIL() << "the program never started";

    for (int nSignal : c.sent) kill(pid, nSignal);
    int status = 0;
    if (!WaitForExit(pid, ORDERLY_END_MS + 3000, status)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        FAIL() << "still running " << ORDERLY_END_MS + 3000 << " ms after the signal";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    // Signals pending together may be taken in either order.
    int nAnySent = 0;
    for (int nSignal : c.sent) nAnySent += WEXITSTATUS(status) == 128 + nSignal;
    EXPECT_EQ(nAnySent, 1) << WEXITSTATUS(status);
    std::ifstream in(errPath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("signals: ", 0) == 0) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(c.pszSays), std::string::npos) << lines[0];
}

INSTANTIATE_TEST_SUITE_P(
    Program, ProgramStuck,
    ::testing::Values(StuckCase{"Term", {SIGTERM}, "has not ended in order"},
                      StuckCase{"TermThenInt", {SIGTERM, SIGINT}, "a second signal"}),
    [](const auto& info) { return info.param.pszName; });

}  // namespace
