// The whole program, forked, offscreen: milliseconds from SIGTERM to its
// exit (a) in order, while the detection window plays with a FIFO named as
// one of its sounds, and (b) through the watchdog, with the user-interface
// thread hung in a blocking read.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/ZARNDemoMain.h"
#include "tests/sound/WavTestFiles.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the child does once its program's event loop runs.
std::function<void()> g_onAppStart;
void RunOnAppStart() {
    if (g_onAppStart) QTimer::singleShot(0, g_onAppStart);
}
Q_COREAPP_STARTUP_FUNCTION(RunOnAppStart)

struct Child {
    std::vector<std::string> args;  // after the program's name
    std::function<void()> onAppStart;
};

// Runs the program in a child until `arm` has it ready and says so on the
// pipe; then SIGTERM, and the time until the child is gone. Negative when it
// never got ready or did not end with 128 + SIGTERM.
double SignalToExitMs(const std::function<Child(int fdReady)>& arm) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        close(ready[0]);
        if (!std::freopen("/dev/null", "w", stderr)) _exit(126);
        Child child = arm(ready[1]);
        g_onAppStart = child.onAppStart;
        child.args.insert(child.args.begin(), "zarndemo");
        std::vector<char*> argv;
        for (std::string& arg : child.args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        _exit(ZarnDemoMain(static_cast<int>(child.args.size()), argv.data()));
    }
    close(ready[1]);
    pollfd p{ready[0], POLLIN, 0};
    char byte = 0;
    const bool bReady = poll(&p, 1, 30000) == 1 && read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (!bReady) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    const auto start = Clock::now();
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM ? ms : -1;
}

void Say(int fd) { [[maybe_unused]] auto n = write(fd, "R", 1); }

void Report(benchmark::State& state, double ms) {
    if (ms < 0) {
        state.SkipWithError("the program did not get ready or did not end with 143");
        return;
    }
    state.SetIterationTime(ms / 1000.0);
}

// The launcher started on a wave list whose first sound is a FIFO and the
// sample clip; ready 1.5 s into the detection show.
void BM_SigtermOrderlyWithFifoSound(benchmark::State& state) {
    wavtest::TempDir dir;
    const std::string fifo = dir.path() + "/fifo.wav";
    if (mkfifo(fifo.c_str(), 0600) != 0) {
        state.SkipWithError("cannot make a FIFO");
        return;
    }
    for (int n = 0; n < 2; ++n)
        dir.WriteWav("tone" + std::to_string(n) + ".wav", wavtest::Pcm(1, 44100, 16),
                     wavtest::Pattern(44100, n));
    const std::string text = "3 fifo tone0 tone1";
    const std::string list = dir.Write("waves.txt", {text.begin(), text.end()});
    const std::string clip = std::string(ZARN_SAMPLES_DIR) + "/stage.avi";
    for (auto _ : state) {
        Report(state, SignalToExitMs([&](int fd) {
                   Child child;
                   child.args = {"--waves", list, "--detect", clip};
                   child.onAppStart = [fd] { QTimer::singleShot(1500, [fd] { Say(fd); }); };
                   return child;
               }));
    }
}
BENCHMARK(BM_SigtermOrderlyWithFifoSound)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// The launcher's user-interface thread hangs in a read it retries when
// interrupted: only the watchdog ends the program.
void BM_SigtermWatchdogWithHungUiThread(benchmark::State& state) {
    for (auto _ : state) {
        Report(state, SignalToExitMs([](int fd) {
                   Child child;
                   child.onAppStart = [fd] {
                       QTimer::singleShot(0, [fd] {
                           int never[2];
                           if (pipe(never) != 0) _exit(125);
                           Say(fd);
                           char byte;
                           while (read(never[0], &byte, 1) < 0 && errno == EINTR) {
                           }
                       });
                   };
                   return child;
               }));
    }
}
BENCHMARK(BM_SigtermWatchdogWithHungUiThread)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Offscreen and silent, as the tests run the program.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    unsetenv("ZARNDEMO_AUDIO_FILE");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
