// The whole program as main runs it, offscreen: driven by clicks through the
// samples, and ended by signals.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "app/ZARNDemoMain.h"
#include "platform/qt/QtDialog.h"
#include "platform/qt/QtShowWindow.h"
#include "platform/qt/QtSignalWatch.h"
#include "res/resource.h"
#include "tests/fakes/FakeFileDialogs.h"
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

// Hooks that answer the file dialogs with the samples and, once the launcher
// runs, click through "Wave Open", "등록", "Avi Open" and "Show and Detect
// and wave play"; then() runs msAfter milliseconds later with the launcher.
ZarnDemoHooks ClickThroughSamples(FakeFileDialogs& files, int msAfter,
                                  std::function<void(QtDialog&)> then) {
    files.Confirm({SAMPLES + "/waves/waves.txt"});
    files.Confirm({SAMPLES + "/stage.avi"});
    ZarnDemoHooks hooks;
    hooks.pFileDialogs = &files;
    hooks.onStarted = [msAfter, then] {
        QTimer::singleShot(0, [msAfter, then] {
            auto* launcher = qobject_cast<QtDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(launcher, nullptr);
            for (int nId : {IDC_WAVE_OPEN, IDC_WAVE_REGISTER, IDC_AVI_OPEN, IDC_SHOW_DETECT})
                qobject_cast<QAbstractButton*>(launcher->Control(nId))->click();
            QTimer::singleShot(msAfter, [launcher, then] { then(*launcher); });
        });
    };
    return hooks;
}

int RunProgram(const ZarnDemoHooks& hooks) {
    char arg0[] = "zarndemo";
    char* argv[] = {arg0, nullptr};
    return ZarnDemoMain(1, argv, hooks);
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

    FakeFileDialogs files;
    bool bDetecting = false;
    QImage frame;
    const ZarnDemoHooks hooks = ClickThroughSamples(files, 3000, [&](QtDialog& launcher) {
        if (QtShowWindow* w = DetectionWindow()) {
            bDetecting = true;
            frame = w->grab().toImage();
            frame.save(shots + "/detection.png");
        }
        launcher.grab().save(shots + "/launcher.png");
        launcher.reject();  // as Escape does
    });
    EXPECT_EQ(RunProgram(hooks), 0);
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
        FakeFileDialogs files;
        // Ready once the detection window has sounded its first ranking.
        const int fd = ready[1];
        _exit(RunProgram(ClickThroughSamples(files, 1500, [fd](QtDialog&) {
            if (DetectionWindow()) [[maybe_unused]]
                auto n = write(fd, "R", 1);
        })));
    }
    close(ready[1]);
    pollfd p{ready[0], POLLIN, 0};
    char byte = 0;
    const bool bReady = poll(&p, 1, 30000) == 1 && read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (!bReady) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        FAIL() << "the program never showed the detection window";
    }

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
        ZarnDemoHooks hooks;
        const int fd = ready[1];
        hooks.onStarted = [fd] {
            QTimer::singleShot(0, [fd] {
                int never[2];
                if (pipe(never) != 0) _exit(125);
                [[maybe_unused]] auto n = write(fd, "R", 1);
                char byte;
                while (read(never[0], &byte, 1) < 0 && errno == EINTR) {
                }
            });
        };
        _exit(RunProgram(hooks));
    }
    close(ready[1]);
    pollfd p{ready[0], POLLIN, 0};
    char byte = 0;
    const bool bReady = poll(&p, 1, 30000) == 1 && read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (!bReady) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        FAIL() << "the program never started";
    }

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
