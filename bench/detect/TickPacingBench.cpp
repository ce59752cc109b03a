// Pacing of the detection window's frame ticks on real Qt timers: how late
// each tick starts against its ideal time, start + k x period, while the
// window plays a 640 x 480 clip offscreen with its repaints in the same loop.

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <vector>

#include "bench/detect/BenchClips.h"
#include "detect/DetectLauncher.h"
#include "detect/ShowWaveDlg.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/qt/QtShowWindows.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int PACED_TICKS = 500;

// Stands between the window and the detection window to note when each frame
// tick arrives and when the frame timer was started.
class TimingHandler final : public IShowWindowHandler {
public:
    IShowWindowHandler* pTarget = nullptr;
    Clock::time_point started;
    std::vector<Clock::time_point> ticks;
    QEventLoop* pLoop = nullptr;

    void OnAttach(IShowWindow* pWnd) override { pTarget->OnAttach(pWnd); }
    int OnInitDialog() override {
        const int result = pTarget->OnInitDialog();
        started = Clock::now();
        return result;
    }
    void OnTimer(uintptr_t id) override {
        if (id == TIMER_FRAME) {
            ticks.push_back(Clock::now());
            if (ticks.size() == PACED_TICKS && pLoop) pLoop->quit();
        }
        pTarget->OnTimer(id);
    }
    void OnRButtonDown(unsigned f, int x, int y) override { pTarget->OnRButtonDown(f, x, y); }
    void PostNcDestroy() override { pTarget->PostNcDestroy(); }
};

class TimingShowWindows final : public IShowWindows {
public:
    TimingHandler timing;
    IShowWindow* Create(IShowWindowHandler& handler) override {
        timing.pTarget = &handler;
        return m_qt.Create(timing);
    }

private:
    QtShowWindows m_qt;
};

void BM_TickPacing(benchmark::State& state) {
    BenchApplication();
    ClipLauncher launcher;
    launcher.strAviPath = BenchClip(640, 480, PACED_TICKS + 20);
    FfmpegVideoFiles ffmpeg;
    TimingShowWindows windows;
    platform::SetVideoFiles(&ffmpeg);
    platform::SetShowWindows(&windows);

    std::vector<double> lateness;
    for (auto _ : state) {
        QEventLoop loop;
        windows.timing.pLoop = &loop;
        windows.timing.ticks.clear();
        g_pDetectShow = new CShowWaveDlg(&launcher);
        g_bDetectShowOpen = true;
        if (!g_pDetectShow->Create()) {
            state.SkipWithError("window did not open");
            break;
        }
        g_pDetectShow->GetWindow()->Show(true);
        const unsigned period = g_pDetectShow->FramePeriod();
        QTimer::singleShot(PACED_TICKS * period * 2, &loop, &QEventLoop::quit);
        loop.exec();
        g_pDetectShow->CloseShow();

        const auto& ticks = windows.timing.ticks;
        for (size_t k = 0; k < ticks.size(); ++k) {
            const auto ideal = windows.timing.started + std::chrono::milliseconds(period * (k + 1));
            lateness.push_back(std::chrono::duration<double, std::milli>(ticks[k] - ideal).count());
        }
    }
    state.counters["ticks"] = static_cast<double>(lateness.size());
    std::vector<double> sorted = lateness;
    state.counters["late_min_ms"] = Quantile(sorted, 0.0);
    state.counters["late_med_ms"] = Quantile(sorted, 0.5);
    state.counters["late_p99_ms"] = Quantile(sorted, 0.99);
    state.counters["late_max_ms"] = Quantile(sorted, 1.0);
    platform::SetShowWindows(nullptr);
    platform::SetVideoFiles(nullptr);
}
BENCHMARK(BM_TickPacing)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
