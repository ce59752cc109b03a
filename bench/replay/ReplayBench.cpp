// zarndemo-replay as a user runs it, on the sample stage clip and its 21
// tones: the show's length (the mix's) over the run's wall time, without and
// with --video. The replay's own processor time and the machine's load
// average are given too: the wall time depends on what else runs. Each run
// is followed by `ffmpeg -threads 1 -i stage.avi -t <show> -f null -`, which
// only decodes the same clip for as long as the show plays it:
// cpu_vs_ffmpeg is the replay's processor time over the tool's, run by run
// (the median of the runs).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; }

// The detection window plays the clip's first 51 seconds.
constexpr const char* SHOW_SECONDS = "51";

struct Run {
    bool bOk = false;
    double dWallS = 0;
    double dCpuS = 0;
};

// Runs the program (looked up on PATH) to its end.
Run RunProgram(const char* program, const std::vector<const char*>& args) {
    std::vector<const char*> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(program, const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return {};
    Run run;
    run.dWallS = std::chrono::duration<double>(Clock::now() - start).count();
    run.dCpuS = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.bOk = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

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
    std::vector<double> vsTool;
    double loadBefore[1] = {0}, loadAfter[1] = {0};
    getloadavg(loadBefore, 1);
    for (auto _ : state) {
        std::vector<const char*> args{clip.c_str(), list.c_str(), "-o", out.c_str()};
        if (bVideo) args.push_back("--video");
        const Run replay = RunProgram(ZARN_REPLAY_PROGRAM, args);
        state.SetIterationTime(replay.dWallS);
        if (!replay.bOk) {
            state.SkipWithError("the replay failed");
            return;
        }
        wallS += replay.dWallS;
        cpuS += replay.dCpuS;
        // 48000 frames of 4 bytes a second behind a 44-byte header.
        showS += (std::filesystem::file_size(out + "/mix.wav") - 44) / (4.0 * 48000);
        if (bVideo) continue;
        const Run tool =
            RunProgram("ffmpeg", {"-nostdin", "-v", "error", "-threads", "1", "-i", clip.c_str(),
                                  "-t", SHOW_SECONDS, "-f", "null", "-"});
        if (tool.bOk && tool.dCpuS > 0) vsTool.push_back(replay.dCpuS / tool.dCpuS);
    }
    getloadavg(loadAfter, 1);
    state.counters["show_s"] = showS / state.iterations();
    state.counters["times_real_time"] = showS / wallS;
    state.counters["cpu_s"] = cpuS / state.iterations();
    state.counters["times_real_time_per_cpu"] = showS / cpuS;
    if (!vsTool.empty()) {
        std::sort(vsTool.begin(), vsTool.end());
        state.counters["cpu_vs_ffmpeg"] = vsTool[vsTool.size() / 2];
    }
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
