// Sound bank timings: how long from Play until the mixer takes the clip's first
// bytes at each device buffer size, with the underruns seen meanwhile, what
// Play itself costs, and the mixer's share of one core with 21 streams of
// mixed formats.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <random>
#include <thread>
#include <vector>

#include "bench/sound/GapCountingWaveOut.h"
#include "bench/sound/TimedAudioDevice.h"
#include "platform/sdl/AudioMixer.h"
#include "platform/sdl/SdlAudioDevice.h"
#include "platform/sdl/SdlWaveOut.h"
#include "sound/SoundBank.h"
#include "tests/sound/WavTestFiles.h"
#include "tests/support/TestSeed.h"

using namespace wavtest;
using Clock = std::chrono::steady_clock;

namespace {

const WAVEFORMATEX kFormats[] = {
    Pcm(1, 11025, 8), Pcm(2, 44100, 16), Pcm(2, 48000, 24), Pcm(1, 22050, 32), Pcm(1, 96000, 24),
    Pcm(6, 8000, 16), Pcm(8, 16000, 8),  Pcm(1, 44100, 16), Pcm(4, 32000, 16), Pcm(2, 8000, 8),
};

WAVEFORMATEX FormatOf(int i) { return kFormats[i % std::size(kFormats)]; }

std::vector<uint8_t> Noise(const WAVEFORMATEX& wfx, double seconds, uint32_t seed) {
    const size_t bytes = static_cast<size_t>(wfx.nSamplesPerSec * seconds) * wfx.nBlockAlign;
    std::vector<uint8_t> v = Pattern(bytes, seed);
    if (wfx.wBitsPerSample > 8) {
        // Quieter: keep the top byte of each sample small.
        const int width = wfx.wBitsPerSample / 8;
        for (size_t i = width - 1; i < v.size(); i += width)
            v[i] = static_cast<uint8_t>(static_cast<int8_t>(v[i]) / 16);
    }
    return v;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t k = std::min(v.size() - 1, static_cast<size_t>(std::ceil(p * v.size())) - 1);
    return v[k];
}

// Notes, on the mixing thread, when each stream's first bytes are taken.
struct FirstTakes {
    std::atomic<uint64_t> count{0};
    std::atomic<int64_t> lastNs{0};

    static void Note(void* pUser, bool /*bHeard*/) {
        auto* self = static_cast<FirstTakes*>(pUser);
        self->lastNs.store(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
                .count(),
            std::memory_order_relaxed);
        self->count.fetch_add(1, std::memory_order_release);
    }
};

bool WaitFirstTake(const FirstTakes& takes, uint64_t before) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (takes.count.load(std::memory_order_acquire) <= before) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

// 500 triggers at random moments on a device of state.range(0) frames a
// buffer; each is timed from just before Play to the moment the mixer first
// takes the clip's bytes, and Play itself is timed too. Late device calls are counted from the
// first sound on; a stream gap is a write that came too late for its stream to sound on without
// one, allowing the stream two device buffers to start.
void BM_TriggerLatency(benchmark::State& state) {
    TempDir dir;
    FirstTakes takes;
    const int nBufferFrames = static_cast<int>(state.range(0));
    SdlAudioDevice sdlDevice;
    TimedAudioDevice device(sdlDevice, nBufferFrames);
    SdlWaveOut::Options options;
    options.probe = {&FirstTakes::Note, &takes};
    SdlWaveOut sdl(options, device);
    // Two buffers at 44.1 kHz, the slower of the usual device rates.
    GapCountingWaveOut out(sdl, std::chrono::microseconds(2 * nBufferFrames * 1'000'000 / 44100));
    platform::SetWaveOut(&out);
    std::vector<double> ms;
    std::vector<double> playUs;  // Play itself, waking the worker
    {
        CSoundBank bank;
        for (int i = 0; i < MAX_WAVE_CLIPS; ++i)
            bank.AddWave(dir.WriteWav("t" + std::to_string(i) + ".wav", FormatOf(i),
                                      Noise(FormatOf(i), 0.06, i))
                             .c_str());
        bank.Play(0);  // opens the device
        if (!WaitFirstTake(takes, 0)) {
            state.SkipWithError("no audio output");
            platform::SetWaveOut(nullptr);
            return;
        }
        const uint64_t nLateBefore = device.LateCalls();
        std::mt19937 rng(TestSeed("trigger moments"));
        for (auto _ : state) {
            for (int k = 0; k < 500; ++k) {
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 40000));
                const uint64_t before = takes.count.load(std::memory_order_acquire);
                const auto t0 = Clock::now();
                bank.Play(rng() % MAX_WAVE_CLIPS);
                playUs.push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
                if (!WaitFirstTake(takes, before)) {
                    state.SkipWithError("a trigger was never heard");
                    break;
                }
                const int64_t takenNs = takes.lastNs.load(std::memory_order_relaxed);
                ms.push_back((takenNs - std::chrono::duration_cast<std::chrono::nanoseconds>(
                                            t0.time_since_epoch())
                                            .count()) /
                             1e6);
            }
        }
        state.counters["late_mixes"] = static_cast<double>(device.LateCalls() - nLateBefore);
        state.counters["stream_gaps"] = static_cast<double>(out.Gaps());
    }
    platform::SetWaveOut(nullptr);
    if (ms.empty()) return;
    state.counters["median_ms"] = Percentile(ms, 0.5);
    state.counters["p99_ms"] = Percentile(ms, 0.99);
    state.counters["worst_ms"] = *std::max_element(ms.begin(), ms.end());
    state.counters["triggers"] = static_cast<double>(ms.size());
    state.counters["play_median_us"] = Percentile(playUs, 0.5);
    state.counters["play_p99_us"] = Percentile(playUs, 0.99);
}
BENCHMARK(BM_TriggerLatency)
    ->ArgName("buffer_frames")
    ->Arg(512)
    ->Arg(256)
    ->Arg(128)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Play only raises a flag, while the worker passes on its own (no device
// here, so every request stays raised and the worker keeps looking at them).
void BM_Play(benchmark::State& state) {
    TempDir dir;
    platform::SetWaveOut(nullptr);
    CSoundBank bank;
    for (int i = 0; i < MAX_WAVE_CLIPS; ++i)
        bank.AddWave(
            dir.WriteWav("p" + std::to_string(i) + ".wav", FormatOf(i), Noise(FormatOf(i), 0.01, i))
                .c_str());
    uint32_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bank.Play(i));
        i = i == MAX_WAVE_CLIPS - 1 ? 0 : i + 1;
    }
}
BENCHMARK(BM_Play)->Repetitions(10)->ReportAggregatesOnly(true);

void IgnoreDone(HWAVEOUT, uint32_t, uintptr_t, uintptr_t, uintptr_t) {}

// The mixing thread's own CPU time, in nanoseconds: neither the time it
// waited for a lock nor the time other work on the machine took from it.
int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// The mixer alone, as the device callback drives it: state.range(0) frames
// at 48 kHz per call from 21 streams of mixed formats. cpu_percent is the
// mixing thread's CPU time against the sound it makes.
void BM_Mixer21Streams(benchmark::State& state) {
    const int kFrames = static_cast<int>(state.range(0));
    constexpr int kRate = 48000;
    constexpr double kSeconds = 4.0;
    AudioMixer mixer(kRate);
    std::vector<HWAVEOUT> streams(MAX_WAVE_CLIPS);
    std::vector<std::vector<uint8_t>> data(MAX_WAVE_CLIPS);
    std::vector<WAVEHDR> headers(MAX_WAVE_CLIPS);
    auto queueAll = [&] {
        for (int j = 0; j < MAX_WAVE_CLIPS; ++j) {
            headers[j] = WAVEHDR{};
            headers[j].lpData = reinterpret_cast<char*>(data[j].data());
            headers[j].dwBufferLength = static_cast<uint32_t>(data[j].size());
            mixer.Prepare(streams[j], &headers[j]);
            mixer.Write(streams[j], &headers[j]);
        }
    };
    for (int j = 0; j < MAX_WAVE_CLIPS; ++j) {
        const WAVEFORMATEX wfx = FormatOf(j);
        data[j] = Noise(wfx, kSeconds + 0.5, j);
        if (mixer.Open(&streams[j], wfx, &IgnoreDone, 0) != MMSYSERR_NOERROR) {
            state.SkipWithError("open failed");
            return;
        }
    }
    queueAll();
    std::vector<float> out(kFrames * 2);
    int calls = 0;
    // Read around runs of calls, not each call: the clock is a system call.
    int64_t nMixCpuNs = 0;
    int64_t nRunStartNs = ThreadCpuNs();
    for (auto _ : state) {
        mixer.Mix(out.data(), kFrames, true);
        benchmark::DoNotOptimize(out.data());
        if (++calls == static_cast<int>(kSeconds * kRate / kFrames)) {
            nMixCpuNs += ThreadCpuNs() - nRunStartNs;
            state.PauseTiming();
            for (HWAVEOUT h : streams) mixer.Reset(h);
            queueAll();
            calls = 0;
            state.ResumeTiming();
            nRunStartNs = ThreadCpuNs();
        }
    }
    nMixCpuNs += ThreadCpuNs() - nRunStartNs;
    for (HWAVEOUT h : streams) {
        mixer.Reset(h);
        mixer.Close(h);
    }
    // The sound made is iterations x kFrames frames.
    const double soundNs = static_cast<double>(state.iterations()) * kFrames * 1e9 / kRate;
    state.counters["cpu_percent"] = 100.0 * static_cast<double>(nMixCpuNs) / soundNs;
}
BENCHMARK(BM_Mixer21Streams)
    ->ArgName("frames")
    ->Arg(512)
    ->Arg(256)
    ->Arg(128)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
