// Detection on the live picture: a clip camera delivering 1280 x 720 frames
// every 33 ms to the detection window on the Qt host, offscreen, ranking by
// level with 21 sounds on SDL's output. Measured from outside the window:
// from a frame's arrival on the capture thread to the Play of the sounds of
// the ranking made on it (the end of the play tick), split at the start of the
// ranking tick, and the user-interface
// thread's cost per frame tick (wall time and the thread's own processor
// time). ZARN_BENCH_SECONDS sets the show's length (default 30).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "detect/DetectLauncher.h"
#include "detect/ShowWaveDlg.h"
#include "detect/ShowWaveTap.h"
#include "platform/Osc.h"
#include "platform/clipcamera/ClipCapture.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/qt/QtShowWindows.h"
#include "platform/sdl/SdlWaveOut.h"
#include "tests/fakes/RecordingOsc.h"
#include "tests/sound/WavTestFiles.h"

namespace {

constexpr int FRAME_WIDTH = 1280;
constexpr int FRAME_HEIGHT = 720;
constexpr size_t MAX_ARRIVALS = 1 << 14;

// Notes when each frame reaches the frame callback, on the capture thread,
// before the window sees it. Read only once the capture has stopped.
class ArrivalClock final : public ICapture {
public:
    explicit ArrivalClock(ICapture& inner) : m_inner(inner) { s_pClock = this; }
    ~ArrivalClock() override { s_pClock = nullptr; }

    std::array<BenchClock::time_point, MAX_ARRIVALS> arrivals;
    size_t Arrived() const { return std::min(m_nArrived.load(), MAX_ARRIVALS); }

    int GetDriverDescription(int n, char* a, int na, char* b, int nb) override {
        return m_inner.GetDriverDescription(n, a, na, b, nb);
    }
    HCAPWND CreateCaptureWindow(const char* s, uint32_t st, int x, int y, int w, int h,
                                IShowWindow* p, int id) override {
        return m_inner.CreateCaptureWindow(s, st, x, y, w, h, p, id);
    }
    int IsWindow(HCAPWND h) override { return m_inner.IsWindow(h); }
    int DriverConnect(HCAPWND h, int n) override { return m_inner.DriverConnect(h, n); }
    int SetScale(HCAPWND h, int b) override { return m_inner.SetScale(h, b); }
    int SetPreviewRate(HCAPWND h, unsigned ms) override { return m_inner.SetPreviewRate(h, ms); }
    int GetVideoFormat(HCAPWND h, BITMAPINFO* p, unsigned cb) override {
        return m_inner.GetVideoFormat(h, p, cb);
    }
    int SetVideoFormat(HCAPWND h, const BITMAPINFO* p, unsigned cb) override {
        return m_inner.SetVideoFormat(h, p, cb);
    }
    int SetCallbackOnFrame(HCAPWND h, CaptureFrameProc proc) override {
        m_proc.store(proc);
        return m_inner.SetCallbackOnFrame(h, proc ? &Stamp : nullptr);
    }
    int SetPreview(HCAPWND h, int b) override { return m_inner.SetPreview(h, b); }
    int IsPreviewing(HCAPWND h) override { return m_inner.IsPreviewing(h); }
    uint32_t GetFrameInterval(HCAPWND h) override { return m_inner.GetFrameInterval(h); }
    int DestroyWindow(HCAPWND h) override { return m_inner.DestroyWindow(h); }

private:
    static intptr_t Stamp(HCAPWND h, VIDEOHDR* pHdr) {
        ArrivalClock* self = s_pClock;
        const size_t n = self->m_nArrived.fetch_add(1);
        if (n < MAX_ARRIVALS) self->arrivals[n] = BenchClock::now();
        return self->m_proc.load()(h, pHdr);
    }

    static inline ArrivalClock* s_pClock = nullptr;
    ICapture& m_inner;
    std::atomic<CaptureFrameProc> m_proc{nullptr};
    std::atomic<size_t> m_nArrived{0};
};

// The window's ticks as the show tap reports them, on the user-interface
// thread.
class TickClock final : public IShowWaveObserver {
public:
    std::vector<double> frameTickMs, frameTickCpuMs;
    std::vector<BenchClock::time_point> rankings, plays;  // when the ticks began
    uint64_t nDropped = 0;

    void BeforeTick(const CShowWaveDlg&, uintptr_t) override {
        m_start = BenchClock::now();
        m_cpuStart = ThreadCpuMs();
    }
    void AfterTick(const CShowWaveDlg& dlg, const ShowWaveTick& tick) override {
        const BenchClock::time_point now = BenchClock::now();
        if (tick.nIDEvent == TIMER_FRAME) {
            frameTickMs.push_back(Ms(now - m_start));
            frameTickCpuMs.push_back(ThreadCpuMs() - m_cpuStart);
        }
        if (tick.bRanked) rankings.push_back(m_start);
        if (tick.bPlayed) plays.push_back(now);
        nDropped = dlg.CameraFramesDropped();
    }

private:
    BenchClock::time_point m_start;
    double m_cpuStart = 0.0;
};

struct CameraLauncher final : IDetectLauncher {
    std::string strWaveFolder;
    int GetCaptureDriver() const override { return 0; }
    int GetUseCamera() const override { return 1; }
    int GetWaveCount() const override { return 21; }
    std::string GetWaveName(int n) const override { return "tone" + std::to_string(n); }
    std::string GetWaveFolder() const override { return strWaveFolder; }
    std::string GetAviPath() const override { return {}; }
    int GetCameraDetect() const override { return CAMERA_DETECT_LEVEL; }
};

QApplication& BenchApplication() {
    static int argc = 1;
    static char name[] = "zarn_clip_camera_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

int ShowSeconds() {
    const char* pszSeconds = std::getenv("ZARN_BENCH_SECONDS");
    const int n = pszSeconds ? std::atoi(pszSeconds) : 0;
    return n > 0 ? n : 30;
}

void BM_ClipCameraDetection(benchmark::State& state) {
    BenchApplication();
    ClipOptions options;
    options.codec = ClipCodec::Mjpeg;
    options.width = FRAME_WIDTH;
    options.height = FRAME_HEIGHT;
    options.frames = 90;
    options.rateNum = 30;
    const std::string clip =
        PersistentClip(ZARN_BENCH_DATA_DIR, "camera_mjpeg_1280x720_30.avi", options);
    wavtest::TempDir waves;
    CameraLauncher launcher;
    launcher.strWaveFolder = waves.path() + "/";
    for (int n = 0; n < 21; ++n)
        waves.WriteWav("tone" + std::to_string(n) + ".wav", wavtest::Pcm(1, 22050, 16),
                       wavtest::Pattern(8820, static_cast<uint32_t>(n)));

    std::vector<double> toPlay, toRanking, rankingToPlay;
    double nFrames = 0, nDropped = 0, nTicks = 0;
    TickClock ticks;
    for (auto _ : state) {
        FfmpegVideoFiles files;
        ClipCapture clipCamera(files, clip);
        ArrivalClock capture(clipCamera);
        QtShowWindows windows;
        CShowWaveTap tap(windows, ticks);
        SdlWaveOut waveOut;
        RecordingOsc osc;
        platform::SetCapture(&capture);
        platform::SetShowWindows(&tap);
        platform::SetWaveOut(&waveOut);
        platform::SetOsc(&osc);

        g_pDetectShow = new CShowWaveDlg(&launcher);
        g_bDetectShowOpen = true;
        if (!g_pDetectShow->Create()) {
            state.SkipWithError("the camera window did not open");
            break;
        }
        g_pDetectShow->GetWindow()->Show(true);
        QEventLoop loop;
        QTimer::singleShot(ShowSeconds() * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        g_pDetectShow->CloseShow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        // The k-th play tick plays the k-th ranking's cells.
        size_t k = 0;
        for (const OscMessage& msg : osc.sent) {
            if (msg.strPath != "/zarn/rank") continue;
            const auto nFrame = static_cast<size_t>(msg.args[1].nValue);
            if (k < ticks.plays.size() && k < ticks.rankings.size() && nFrame < capture.Arrived()) {
                toPlay.push_back(Ms(ticks.plays[k] - capture.arrivals[nFrame]));
                toRanking.push_back(Ms(ticks.rankings[k] - capture.arrivals[nFrame]));
                rankingToPlay.push_back(Ms(ticks.plays[k] - ticks.rankings[k]));
            }
            ++k;
        }
        nFrames += static_cast<double>(capture.Arrived());
        nDropped += static_cast<double>(ticks.nDropped);
        nTicks += static_cast<double>(ticks.frameTickMs.size());
        platform::SetOsc(nullptr);
        platform::SetWaveOut(nullptr);
        platform::SetShowWindows(nullptr);
        platform::SetCapture(nullptr);
    }
    state.counters["frames"] = nFrames;
    state.counters["dropped"] = nDropped;
    state.counters["ticks"] = nTicks;
    state.counters["rankings"] = static_cast<double>(toPlay.size());
    state.counters["to_play_med_ms"] = Quantile(toPlay, 0.5);
    state.counters["to_play_p99_ms"] = Quantile(toPlay, 0.99);
    state.counters["to_play_max_ms"] = Quantile(toPlay, 1.0);
    state.counters["to_ranking_med_ms"] = Quantile(toRanking, 0.5);
    state.counters["ranking_to_play_med_ms"] = Quantile(rankingToPlay, 0.5);
    state.counters["tick_med_ms"] = Quantile(ticks.frameTickMs, 0.5);
    state.counters["tick_p99_ms"] = Quantile(ticks.frameTickMs, 0.99);
    state.counters["tick_cpu_med_ms"] = Quantile(ticks.frameTickCpuMs, 0.5);
    state.counters["tick_cpu_p99_ms"] = Quantile(ticks.frameTickCpuMs, 0.99);
}
BENCHMARK(BM_ClipCameraDetection)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
