// The camera preview's cost per frame on the capture thread (dequeue, packing
// copy, frame callback, hand-over to the view, up to the requeue) and the
// time from a frame's dequeue to the end of the paint that shows it, with a
// scripted 720 x 480 camera delivering a frame every 33 ms to the detection
// window in camera mode, offscreen.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBackingStore>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "detect/DetectLauncher.h"
#include "detect/ShowWaveDlg.h"
#include "platform/qt/QtFrameView.h"
#include "platform/qt/QtShowWindows.h"
#include "platform/v4l2/V4l2Capture.h"
#include "tests/fakes/ScriptedV4l2Device.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int FRAME_WIDTH = 720;
constexpr int FRAME_HEIGHT = 480;
constexpr auto FRAME_INTERVAL = std::chrono::milliseconds(33);
constexpr int FRAMES = 300;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Quantile(std::vector<double> samples, double q) {
    if (samples.empty()) return 0.0;
    std::sort(samples.begin(), samples.end());
    return samples[std::min(
        samples.size() - 1,
        static_cast<size_t>(q * static_cast<double>(samples.size() - 1) + 0.5))];
}

// Notes when the capture thread dequeues and requeues each frame; read only
// after the capture has stopped.
class TimedDevice final : public IV4l2Device {
public:
    explicit TimedDevice(IV4l2Device& inner) : m_inner(inner) {}
    std::vector<Clock::time_point> dequeued, requeued;

    int Open(const char* p, int f) override { return m_inner.Open(p, f); }
    int Close(int fd) override { return m_inner.Close(fd); }
    int Ioctl(int fd, unsigned long req, void* arg) override {
        const int r = m_inner.Ioctl(fd, req, arg);
        if (r == 0 && req == VIDIOC_DQBUF) dequeued.push_back(Clock::now());
        if (r == 0 && req == VIDIOC_QBUF && requeued.size() < dequeued.size())
            requeued.push_back(Clock::now());
        return r;
    }
    void* Mmap(size_t n, int p, int f, int fd, int64_t o) override {
        return m_inner.Mmap(n, p, f, fd, o);
    }
    int Munmap(void* p, size_t n) override { return m_inner.Munmap(p, n); }
    int Poll(pollfd* p, nfds_t n, int t) override { return m_inner.Poll(p, n, t); }

private:
    IV4l2Device& m_inner;
};

// Frame k carries k in its top-left pixel's blue and green.
std::vector<uint8_t> NumberedFrame(int k) {
    std::vector<uint8_t> frame(size_t{FRAME_WIDTH} * 3 * FRAME_HEIGHT);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 13 + k);
    frame[0] = static_cast<uint8_t>(k);
    frame[1] = static_cast<uint8_t>(k >> 8);
    return frame;
}

// Paints the view itself to note when each numbered frame's paint ended. The
// frame is told by the pixel the paint left at the view's corner in the
// window's backing store (an image on the offscreen platform).
class PaintClock final : public QObject {
public:
    explicit PaintClock(QWidget* pView) : m_pView(pView) {}
    std::map<int, Clock::time_point> painted;

    bool eventFilter(QObject* pObject, QEvent* pEvent) override {
        if (pObject != m_pView || pEvent->type() != QEvent::Paint) return false;
        static_cast<QObject*>(m_pView)->event(pEvent);
        const auto end = Clock::now();
        QBackingStore* pStore = m_pView->backingStore();
        const auto* pImage = pStore ? dynamic_cast<const QImage*>(pStore->paintDevice()) : nullptr;
        if (!pImage) return true;
        const QRgb p = pImage->pixel(m_pView->mapTo(m_pView->window(), QPoint(0, 0)));
        // Black until the first frame: every numbered frame has some red there.
        if ((p & 0xFFFFFF) != 0) painted.emplace(qBlue(p) | qGreen(p) << 8, end);
        return true;
    }

private:
    QWidget* m_pView;
};

struct CameraLauncher final : IDetectLauncher {
    int GetCaptureDriver() const override { return 0; }
    int GetUseCamera() const override { return 1; }
    int GetWaveCount() const override { return 0; }
    std::string GetWaveName(int) const override { return {}; }
    std::string GetWaveFolder() const override { return {}; }
    std::string GetAviPath() const override { return {}; }
};

QApplication& BenchApplication() {
    static int argc = 1;
    static char name[] = "zarn_camera_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// The hand-over alone: one 720 x 480 frame converted for the screen.
void BM_FrameHandOver(benchmark::State& state) {
    BenchApplication();
    QWidget parent;
    auto* pView = new QtFrameView(&parent, QRect(0, 0, FRAME_WIDTH, FRAME_HEIGHT), nullptr);
    const std::vector<uint8_t> frame = NumberedFrame(1);
    for (auto _ : state) pView->Present(frame.data(), FRAME_WIDTH, FRAME_HEIGHT);
    QCoreApplication::processEvents();
}
BENCHMARK(BM_FrameHandOver)->Unit(benchmark::kMicrosecond);

void BM_CameraPreview(benchmark::State& state) {
    BenchApplication();

    std::vector<double> work, toPaint;
    size_t nDelivered = 0;
    for (auto _ : state) {
        ScriptedV4l2Device scripted;
        ScriptedCamera camera;
        camera.sizes = {{FRAME_WIDTH, FRAME_HEIGHT}};
        scripted.AddCamera(0, camera);
        TimedDevice device(scripted);
        V4l2Capture capture(device);
        QtShowWindows windows;
        platform::SetCapture(&capture);
        platform::SetShowWindows(&windows);

        CameraLauncher launcher;
        g_pDetectShow = new CShowWaveDlg(&launcher);
        g_bDetectShowOpen = true;
        if (!g_pDetectShow->Create()) {
            state.SkipWithError("the camera window did not open");
            break;
        }
        auto* pWnd = dynamic_cast<QWidget*>(g_pDetectShow->GetWindow());
        pWnd->show();
        auto* pView = pWnd->findChild<QtFrameView*>();
        PaintClock paints(pView);
        pView->installEventFilter(&paints);

        QEventLoop loop;
        std::atomic<bool> bDone{false};
        // Frames the camera had no free buffer for are dropped, as a camera
        // does; the others are dequeued in this order.
        std::vector<int> delivered;
        std::thread camera_thread([&] {
            auto next = Clock::now();
            for (int k = 0; k < FRAMES; ++k) {
                std::this_thread::sleep_until(next += FRAME_INTERVAL);
                if (scripted.Deliver(0, NumberedFrame(k))) delivered.push_back(k);
            }
            bDone.store(true);
        });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (bDone.load()) loop.quit();
        });
        poll.start(100);
        loop.exec();
        camera_thread.join();
        QEventLoop settle;
        QTimer::singleShot(200, &settle, &QEventLoop::quit);
        settle.exec();
        pView->removeEventFilter(&paints);
        g_pDetectShow->CloseShow();

        nDelivered += delivered.size();
        for (size_t i = 0; i < device.requeued.size() && i < delivered.size(); ++i) {
            work.push_back(Ms(device.requeued[i] - device.dequeued[i]));
            const auto it = paints.painted.find(delivered[i]);
            if (it != paints.painted.end()) toPaint.push_back(Ms(it->second - device.dequeued[i]));
        }
        platform::SetShowWindows(nullptr);
        platform::SetCapture(nullptr);
    }
    state.counters["frames"] = static_cast<double>(nDelivered);
    state.counters["painted"] = static_cast<double>(toPaint.size());
    state.counters["work_med_ms"] = Quantile(work, 0.5);
    state.counters["work_p99_ms"] = Quantile(work, 0.99);
    state.counters["paint_med_ms"] = Quantile(toPaint, 0.5);
    state.counters["paint_p99_ms"] = Quantile(toPaint, 0.99);
    state.counters["paint_max_ms"] = Quantile(toPaint, 1.0);
}
BENCHMARK(BM_CameraPreview)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
