// Three whole cycles of the gate show, back to back as a venue runs it, on a
// 1280 x 720 MPEG-4 clip with a keyframe every 50 frames, as the build's
// clip has them (so one at every segment's start), or every 250 as a clip an
// artist supplies may have them (gop:250), offscreen on the Qt host: each
// tick at its place on the clip's period, as the window's timer runs them,
// and a click in each loop once it has wrapped round (zones 1, 0, 0, 1),
// then the replay and the first frame of the next cycle. The ticks that draw
// a segment's first frame (a start, a loop's first pass or its return to its
// first frame, an ending, a replayed ending) are timed apart from the
// others, with the frames fetched ahead and without. One cycle has only 21
// such ticks, whose 99th percentile would be the worst of them; three give
// 61, where it is the second worst, so one stray delay from outside the
// program does not decide it. Later cycles also resume each loop where its
// click left it, mostly between keyframes. Ticks that draw nothing (where a
// segment runs out, and the frame the next one draws is read in) are timed
// apart as well: the ordinary ticks are those that draw a segment's next
// frame.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bench/detect/BenchClips.h"
#include "bench/gateshow/HandOverCount.h"
#include "gateshow/ShowDlg.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/support/qt/QtProbedShowWindows.h"

namespace {

// Ticks into each loop before its click: past its 150 frames, so every loop
// also returns once to its first frame.
constexpr int CLICK_AFTER_LOOP_TICKS = 170;
constexpr int CYCLES = 3;
constexpr int CLICK_ZONES[] = {1, 0, 0, 1};
constexpr int ZONE_POINTS[2][2] = {{580, 200}, {880, 200}};
constexpr uintptr_t TIMERS[] = {TIMER_START, TIMER_LOOP, TIMER_ENDING, TIMER_REPLAY};

// 160 s at 25 frames per second, the length the segment table covers,
// written once into the bench data folder.
std::string GateBenchClip(int gop) {
    ClipOptions o;
    o.codec = ClipCodec::Mpeg4;
    o.width = 1280;
    o.height = 720;
    o.frames = 4000;
    o.gop = gop;
    return PersistentClip(ZARN_BENCH_DATA_DIR,
                          "gate_mpeg4_1280x720_gop" + std::to_string(gop) + ".avi", o);
}

int RunningTimer(QtWindowProbe* wnd) {
    for (uintptr_t t : TIMERS)
        if (wnd->HasTimer(t)) return static_cast<int>(t);
    return -1;
}

void Report(benchmark::State& state, const std::string& name, std::vector<double> samples) {
    state.counters[name + "_n"] = static_cast<double>(samples.size());
    state.counters[name + "_med_ms"] = Quantile(samples, 0.5);
    state.counters[name + "_p99_ms"] = Quantile(samples, 0.99);
    state.counters[name + "_max_ms"] = Quantile(samples, 1.0);
}

void BM_GateCycle(benchmark::State& state) {
    BenchApplication();
    const std::string clip = GateBenchClip(static_cast<int>(state.range(1)));
    const bool bPreload = state.range(0) != 0;
    FfmpegVideoFiles ffmpeg;
    // Hand-overs show whether the jumps found their frames fetched ahead.
    HandOverCount files(ffmpeg);
    QtProbedShowWindows windows;
    platform::SetVideoFiles(&files);
    platform::SetShowWindows(&windows);

    std::vector<double> boundary, ordinary, boundaryCpu, ordinaryCpu, idle, clicks;
    for (auto _ : state) {
        g_pGateShow = new CShowDlg(clip, bPreload);
        g_bGateShowOpen = true;
        if (!g_pGateShow->Create()) {
            state.SkipWithError("the gate show did not open");
            break;
        }
        QtWindowProbe* wnd = windows.Last();
        wnd->Widget()->show();
        QCoreApplication::processEvents();
        const CAviControl& avi = g_pGateShow->Avi();
        const auto period = std::chrono::milliseconds(g_pGateShow->FramePeriod());

        int lastSegment = -1;
        int64_t lastFrame = -1;
        int gate = 0;
        int loopTicks = 0;
        bool replayed = false;
        int cycles = 0;
        auto due = BenchClock::now();
        for (;;) {
            due += period;
            std::this_thread::sleep_until(due);
            const int timer = RunningTimer(wnd);
            if (timer < 0) break;
            replayed = replayed || timer == TIMER_REPLAY;
            const int segment = timer == TIMER_REPLAY
                                    ? g_pGateShow->ChoiceQueue()[g_pGateShow->QueuePos()]
                                    : g_pGateShow->CurSegment();
            const int64_t frame = avi.Segment(segment).dwCursor;
            QSocketNotifier* qtTimer = wnd->ReadyTimer(static_cast<uintptr_t>(timer));

            const double c0 = ThreadCpuMs();
            const auto t0 = BenchClock::now();
            wnd->SendReady(qtTimer);
            const double ms = Ms(BenchClock::now() - t0);
            const double cpu = ThreadCpuMs() - c0;

            const bool drew = avi.Segment(segment).dwCursor == frame + 1;
            if (drew && (segment != lastSegment || frame != lastFrame + 1)) {
                boundary.push_back(ms);
                boundaryCpu.push_back(cpu);
                // Back at the first gate's start after the replay: the cycle is whole.
                if (replayed && segment == 0) {
                    if (++cycles == CYCLES) break;
                    gate = 0;
                    replayed = false;
                }
            } else if (drew) {
                ordinary.push_back(ms);
                ordinaryCpu.push_back(cpu);
            } else {
                idle.push_back(ms);
            }
            if (drew) {
                lastSegment = segment;
                lastFrame = frame;
            }

            loopTicks = timer == TIMER_LOOP ? loopTicks + 1 : 0;
            if (loopTicks == CLICK_AFTER_LOOP_TICKS && gate < 4) {
                const int* point = ZONE_POINTS[CLICK_ZONES[gate++]];
                const auto c0 = BenchClock::now();
                wnd->SendPress(Qt::LeftButton, point[0], point[1]);
                clicks.push_back(Ms(BenchClock::now() - c0));
            }
            wnd->Widget()->repaint();
        }
        g_pGateShow->CloseShow();
    }
    Report(state, "boundary", boundary);
    Report(state, "ordinary", ordinary);
    Report(state, "boundary_cpu", boundaryCpu);
    Report(state, "ordinary_cpu", ordinaryCpu);
    Report(state, "idle", idle);
    Report(state, "click", clicks);
    state.counters["handovers"] = files.HandOvers();
    state.counters["readers_at_once"] = files.MostReadersOpen();
    platform::SetShowWindows(nullptr);
    platform::SetVideoFiles(nullptr);
}
BENCHMARK(BM_GateCycle)
    ->ArgNames({"preload", "gop"})
    ->ArgsProduct({{0, 1}, {50, 250}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
