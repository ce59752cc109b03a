// zarndemo-replay as a user runs it, on the sample stage clip and its 21
// tones: the show's length (the mix's) over the run's wall time, without and
// with --video. The replay's own processor time and the machine's load
// average are given too: the wall time depends on what else runs.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; }

void BM_ReplayStage(benchmark::State& state) {
    const bool bVideo = state.range(0) != 0;
    const std::string clip = std::string(ZARN_SAMPLES_DIR) + "/stage.avi";
    const std::string list = std::string(ZARN_SAMPLES_DIR) + "/waves/waves.txt";
    const std::string out = std::string(ZARN_BENCH_OUT_DIR) + (bVideo ? "/video" : "/plain");
    if (!std::filesystem::exists(clip) || !std::filesystem::exists(list)) {
        state.SkipWithError("no samples: build the zarn_samples target first");
        return;
    }
    double wallS = 0, cpuS = 0, showS = 0;
    double loadBefore[1] = {0}, loadAfter[1] = {0};
    getloadavg(loadBefore, 1);
    for (auto _ : state) {
        std::vector<const char*> argv{ZARN_REPLAY_PROGRAM, clip.c_str(), list.c_str(), "-o",
                                      out.c_str()};
        if (bVideo) argv.push_back("--video");
        argv.push_back(nullptr);
        const auto start = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execv(ZARN_REPLAY_PROGRAM, const_cast<char* const*>(argv.data()));
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(wall);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the replay failed");
            return;
        }
        wallS += wall;
        cpuS += Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
        // 48000 frames of 4 bytes a second behind a 44-byte header.
        showS += (std::filesystem::file_size(out + "/mix.wav") - 44) / (4.0 * 48000);
    }
    getloadavg(loadAfter, 1);
    state.counters["show_s"] = showS / state.iterations();
    state.counters["times_real_time"] = showS / wallS;
    state.counters["cpu_s"] = cpuS / state.iterations();
    state.counters["times_real_time_per_cpu"] = showS / cpuS;
    state.counters["load_before"] = loadBefore[0];
    state.counters["load_after"] = loadAfter[0];
}
BENCHMARK(BM_ReplayStage)
    ->ArgName("video")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
