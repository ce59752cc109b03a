// Clip reading and pixel transforms.
//
//   SequentialRead/<clip>    frames per second reading every frame in order, next to the
//                            decode-only rate of `ffmpeg -threads 1 ... -f null -` on the same
//                            clip (ffmpeg_fps) and the ratio of the two, in elapsed time
//                            (ratio) and in processor time (cpu_ratio)
//   RandomAccess             median and worst time of one random fetch on the 720p MPEG-4
//                            clip (keyframe every 12), next to 12 sequential frames' time
//   GetFrameChannel, GetFrameRGB, FlipSwapInPlace
//                            source bytes per second, next to memcpy of the same bytes
//                            timed in turn with it (vs_memcpy: the median ratio)

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/support/ClipWriter.h"
#include "tests/support/TestSeed.h"
#include "video/AviControl.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The clip at `name` in the bench data folder, written once.
std::string Clip(const std::string& name, const ClipOptions& o) {
    return PersistentClip(ZARN_BENCH_DATA_DIR, name, o);
}

std::string MjpegClip() {
    ClipOptions o;
    o.codec = ClipCodec::Mjpeg;
    o.width = 640;
    o.height = 480;
    o.frames = 1500;
    return Clip("mjpeg_640x480_1500.avi", o);
}

std::string Mpeg4Clip() {
    ClipOptions o;
    o.codec = ClipCodec::Mpeg4;
    o.width = 1280;
    o.height = 720;
    o.frames = 1500;
    o.gop = 12;
    return Clip("mpeg4_1280x720_1500_gop12.avi", o);
}

std::string RawClip(int w, int h) {
    ClipOptions o;
    o.width = w;
    o.height = h;
    o.frames = 1;
    return Clip("raw_" + std::to_string(w) + "x" + std::to_string(h) + ".avi", o);
}

struct Reader {
    std::unique_ptr<IVideoFile> file;
    std::unique_ptr<IVideoStream> stream;
    std::unique_ptr<IFrameReader> reader;
    uint32_t length = 0;
};

Reader OpenReader(FfmpegVideoFiles& files, const std::string& path) {
    Reader r;
    r.file = files.Open(path.c_str());
    if (!r.file) return r;
    for (uint32_t n = 0; n < r.file->Info().dwStreams; ++n) {
        auto s = r.file->GetStream(n);
        if (s && s->Info().fccType == streamtypeVIDEO) r.stream = std::move(s);
    }
    if (!r.stream) return r;
    r.length = r.stream->Info().dwLength;
    r.reader = r.stream->OpenFrameReader();
    return r;
}

struct Rates {
    double wall = 0;  // frames per second of elapsed time
    double cpu = 0;   // frames per second of processor time, less swayed by other load
};

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Decode-only rate of the command-line tool on one thread; zero when it is missing.
Rates FfmpegToolRates(const std::string& path, uint32_t frames) {
    const std::string command =
        "ffmpeg -nostdin -v error -threads 1 -i '" + path + "' -f null - 2>/dev/null";
    const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) return {};
    return {frames / Seconds(Clock::now() - start), frames / (CpuSeconds(RUSAGE_CHILDREN) - cpu0)};
}

// Opens a reader and reads every frame in order.
Rates OurRates(FfmpegVideoFiles& files, const std::string& path, uint32_t& length) {
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const auto start = Clock::now();
    Reader r = OpenReader(files, path);
    if (!r.reader) return {};
    length = r.length;
    for (uint32_t n = 0; n < r.length; ++n) {
        const uint8_t* frame = r.reader->GetFrame(n);
        if (!frame) return {};
        benchmark::DoNotOptimize(frame);
    }
    return {r.length / Seconds(Clock::now() - start), r.length / (CpuSeconds(RUSAGE_SELF) - cpu0)};
}

// Each iteration reads the clip and then runs the tool on it; the best of
// the iterations counts for both, so a burst of other load spoils neither.
void SequentialRead(benchmark::State& state, std::string (*clip)()) {
    const std::string path = clip();
    FfmpegVideoFiles files;
    uint32_t length = 0;
    Rates ours, tool;
    for (auto _ : state) {
        const Rates r = OurRates(files, path, length);
        if (r.wall <= 0) {
            state.SkipWithError("cannot read every frame");
            return;
        }
        const Rates t = FfmpegToolRates(path, length);
        ours = {std::max(ours.wall, r.wall), std::max(ours.cpu, r.cpu)};
        tool = {std::max(tool.wall, t.wall), std::max(tool.cpu, t.cpu)};
    }
    state.counters["frames"] = length;
    state.counters["fps"] = ours.wall;
    state.counters["ffmpeg_fps"] = tool.wall;
    state.counters["ratio"] = tool.wall > 0 ? ours.wall / tool.wall : 0;
    state.counters["cpu_ratio"] = tool.cpu > 0 ? ours.cpu / tool.cpu : 0;
}

void RandomAccess(benchmark::State& state) {
    const std::string path = Mpeg4Clip();
    FfmpegVideoFiles files;
    Reader r = OpenReader(files, path);
    if (!r.reader) {
        state.SkipWithError("no reader");
        return;
    }
    std::mt19937 rng(TestSeed("random access"));
    std::vector<double> fetches;
    for (auto _ : state) {
        const uint32_t n = rng() % r.length;
        const auto start = Clock::now();
        benchmark::DoNotOptimize(r.reader->GetFrame(n));
        fetches.push_back(Seconds(Clock::now() - start));
    }
    // Twelve frames decoded in order, from a fresh reader past its first keyframe.
    Reader s = OpenReader(files, path);
    s.reader->GetFrame(100);
    const auto start = Clock::now();
    for (uint32_t n = 101; n < 221; ++n) benchmark::DoNotOptimize(s.reader->GetFrame(n));
    const double twelve = Seconds(Clock::now() - start) / 10;

    std::sort(fetches.begin(), fetches.end());
    state.counters["median_ms"] = fetches[fetches.size() / 2] * 1e3;
    state.counters["worst_ms"] = fetches.back() * 1e3;
    state.counters["seq12_ms"] = twelve * 1e3;
    state.counters["median_vs_seq12"] = fetches[fetches.size() / 2] / twelve;
}

// Rates of `work` and of `reference` over `bytes`, timed in turn, 20 runs of
// each per round: the best rate of each, and the median of the rounds'
// ratios, which a burst of other load on a shared machine sways least.
struct PairedRates {
    double work = 0;
    double reference = 0;
    double ratio = 0;
};

template <typename Work, typename Reference>
PairedRates RatesInTurn(size_t bytes, Work work, Reference reference) {
    const auto rate = [bytes](auto& f) {
        const int reps = 20;
        const auto start = Clock::now();
        for (int i = 0; i < reps; ++i) {
            f();
            benchmark::ClobberMemory();
        }
        return bytes * double(reps) / Seconds(Clock::now() - start);
    };
    PairedRates best;
    std::vector<double> ratios;
    for (int round = 0; round < 31; ++round) {
        const double w = rate(work), r = rate(reference);
        best.work = std::max(best.work, w);
        best.reference = std::max(best.reference, r);
        ratios.push_back(w / r);
    }
    std::sort(ratios.begin(), ratios.end());
    best.ratio = ratios[ratios.size() / 2];
    return best;
}

enum class Copy { Channel, Rgb, InPlace };

void Transform(benchmark::State& state, Copy kind) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const size_t bytes = static_cast<size_t>(w) * h * 3;
    std::vector<uint8_t> dst(bytes);
    CAviControl avi;
    FfmpegVideoFiles files;
    std::vector<uint8_t> image(bytes);
    if (kind != Copy::InPlace) {
        platform::SetVideoFiles(&files);
        if (avi.Open(RawClip(w, h).c_str()) <= 0 || !avi.SetSegment(0, "frame", 0.0, 0.0)) {
            state.SkipWithError("cannot open clip");
            return;
        }
        avi.GetFrameChannel(dst.data(), 0);  // the frame is decoded once, then served as is
    } else {
        PaintMotion(0, image.data(), w, h);
    }
    auto work = [&] {
        switch (kind) {
            case Copy::Channel:
                avi.GetFrameChannel(dst.data(), 0);
                break;
            case Copy::Rgb:
                avi.GetFrameRGB(dst.data(), 0);
                break;
            case Copy::InPlace:
                CAviControl::FlipSwapInPlace(image.data(), w, h);
                break;
        }
    };
    for (auto _ : state) {
        work();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    const PairedRates rates =
        RatesInTurn(bytes, work, [&] { std::memcpy(to.data(), from.data(), bytes); });
    platform::SetVideoFiles(nullptr);
    state.counters["GBps"] = rates.work / 1e9;
    state.counters["memcpy_GBps"] = rates.reference / 1e9;
    state.counters["vs_memcpy"] = rates.ratio;
}

BENCHMARK_CAPTURE(SequentialRead, mjpeg_640x480, MjpegClip)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SequentialRead, mpeg4_1280x720, Mpeg4Clip)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(RandomAccess)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Transform, GetFrameChannel, Copy::Channel)->Args({640, 480})->Args({1920, 1080});
BENCHMARK_CAPTURE(Transform, GetFrameRGB, Copy::Rgb)->Args({640, 480})->Args({1920, 1080});
BENCHMARK_CAPTURE(Transform, FlipSwapInPlace, Copy::InPlace)->Args({640, 480})->Args({1920, 1080});

}  // namespace

BENCHMARK_MAIN();
