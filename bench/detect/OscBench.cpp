// OSC in the detection window, offscreen: what a ranking tick costs with OSC
// out on against off, the message's own cost within it, and the time a
// /zarn/play takes from the network to the sound bank.

#include <benchmark/benchmark.h>
#include <lo/lo.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <thread>
#include <vector>

#include "app/OscRemote.h"
#include "bench/detect/BenchClips.h"
#include "detect/ShowWaveDlg.h"
#include "detect/ShowWaveOsc.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/osc/LibloOsc.h"
#include "platform/qt/QtUiCalls.h"
#include "tests/sound/WavTestFiles.h"
#include "tests/support/OscLoopback.h"
#include "tests/support/qt/QtProbedShowWindows.h"

namespace {

using Clock = std::chrono::steady_clock;

double Us(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void Report(benchmark::State& state, const std::string& name, std::vector<double>& samples) {
    state.counters[name + "_med_us"] = Quantile(samples, 0.5);
    state.counters[name + "_p99_us"] = Quantile(samples, 0.99);
}

// A 640 x 480 clip at 1 frame per second ranks on every tick from the
// second; OSC is switched on and off between rankings, so that neighbouring
// ticks of one window compare. Wall time and the thread's own processor
// time (which leaves out time the machine gave to other work).
void BM_RankingTickOsc(benchmark::State& state) {
    BenchApplication();
    ClipLauncher launcher;
    launcher.strAviPath = BenchClip(640, 480, 60, 1);
    FfmpegVideoFiles ffmpeg;
    QtProbedShowWindows windows;
    platform::SetVideoFiles(&ffmpeg);
    platform::SetShowWindows(&windows);
    // Read by nobody: the kernel drops what does not fit, as a slow
    // receiver would make it.
    LoopbackUdpSocket sink;
    LibloOsc::Config config;
    config.strOutHost = "127.0.0.1";
    config.strOutPort = std::to_string(sink.port);
    LibloOsc osc(config, nullptr);

    std::vector<double> on, off, onCpu, offCpu, send;
    for (auto _ : state) {
        bool bOn = false;
        for (int run = 0; run < 30; ++run) {
            g_pDetectShow = new CShowWaveDlg(&launcher);
            g_bDetectShowOpen = true;
            if (!g_pDetectShow->Create()) {
                state.SkipWithError("window did not open");
                return;
            }
            QtWindowProbe* wnd = windows.Last();
            wnd->Widget()->show();
            QCoreApplication::processEvents();
            while (wnd->HasTimer(TIMER_FRAME)) {
                QSocketNotifier* frameTimer = wnd->ReadyTimer(TIMER_FRAME);
                platform::SetOsc(bOn ? &osc : nullptr);
                const double c0 = ThreadCpuMs();
                const auto t0 = Clock::now();
                wnd->SendReady(frameTimer);
                const double us = Us(Clock::now() - t0);
                const double cpuUs = (ThreadCpuMs() - c0) * 1000.0;
                // A ranking arms the play timer; its tick comes before the next frame's.
                if (!wnd->HasTimer(TIMER_PLAY)) continue;
                (bOn ? on : off).push_back(us);
                (bOn ? onCpu : offCpu).push_back(cpuUs);
                bOn = !bOn;
                wnd->SendTimer(TIMER_PLAY);
            }
            g_pDetectShow->CloseShow();
            QCoreApplication::processEvents();
        }
        // The message alone, a ranking every 100 us so that the queue stays
        // short as it does at the window's 0.85 s.
        platform::SetOsc(&osc);
        CShowWaveOsc tell;
        CellScore cells[3] = {{2, 1, 201.5}, {1, 3, 120.25}, {0, 2, 3.0}};
        for (int n = 0; n < 20000; ++n) {
            const auto t0 = Clock::now();
            tell.Ranking(static_cast<uint32_t>(n), cells, 7);
            send.push_back(Us(Clock::now() - t0));
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    platform::SetOsc(nullptr);
    const OscStats stats = osc.Stats();
    state.counters["ranking_ticks_on"] = static_cast<double>(on.size());
    state.counters["ranking_ticks_off"] = static_cast<double>(off.size());
    Report(state, "tick_off", off);
    Report(state, "tick_on", on);
    state.counters["added_med_us"] = Quantile(on, 0.5) - Quantile(off, 0.5);
    state.counters["added_p99_us"] = Quantile(on, 0.99) - Quantile(off, 0.99);
    Report(state, "tick_cpu_off", offCpu);
    Report(state, "tick_cpu_on", onCpu);
    state.counters["added_cpu_med_us"] = Quantile(onCpu, 0.5) - Quantile(offCpu, 0.5);
    state.counters["added_cpu_p99_us"] = Quantile(onCpu, 0.99) - Quantile(offCpu, 0.99);
    Report(state, "message", send);
    state.counters["sent"] = static_cast<double>(stats.nSent);
    state.counters["dropped"] = static_cast<double>(stats.nSendDropped);
    platform::SetShowWindows(nullptr);
    platform::SetVideoFiles(nullptr);
}
BENCHMARK(BM_RankingTickOsc)->Iterations(1)->Unit(benchmark::kMillisecond);

// The launcher's values for a clip and one sound.
struct OneWaveLauncher final : IDetectLauncher {
    std::string strAviPath;
    std::string strWaveFolder;
    int GetCaptureDriver() const override { return -1; }
    int GetUseCamera() const override { return 0; }
    int GetWaveCount() const override { return 1; }
    std::string GetWaveName(int) const override { return "w0"; }
    std::string GetWaveFolder() const override { return strWaveFolder; }
    std::string GetAviPath() const override { return strAviPath; }
};

// Stands between the service and the program's listener, to note when each
// message has been acted on: the sound bank's Play has returned by then.
struct PlayTimes final : IOscListener {
    explicit PlayTimes(IOscListener& target) : target(target) {}
    void OnOscMessage(const OscMessage& msg) override {
        target.OnOscMessage(msg);
        done.push_back(Clock::now());
    }
    IOscListener& target;
    std::vector<Clock::time_point> done;
};

// /zarn/play 0 every 2 ms from a thread of the bench, through loopback,
// liblo's decoding, the hand-over into Qt's event loop and the program's
// listener, to CSoundBank::Play, while the detection window plays a clip
// in the same event loop: sent-to-Play, which bounds received-to-Play.
void BM_OscPlayLatency(benchmark::State& state) {
    constexpr int MESSAGES = 2000;
    BenchApplication();
    wavtest::TempDir waves;
    waves.WriteWav("w0.wav", wavtest::Pcm(1, 8000, 8), std::vector<uint8_t>(800, 0x80));
    OneWaveLauncher launcher;
    launcher.strAviPath = BenchClip(160, 120, 1300);
    launcher.strWaveFolder = waves.path() + "/";
    FfmpegVideoFiles ffmpeg;
    QtShowWindows windows;
    platform::SetVideoFiles(&ffmpeg);
    platform::SetShowWindows(&windows);
    LibloOsc::Config config;
    config.strInPort = "0";
    QtUiCalls uiCalls;
    LibloOsc osc(config, uiCalls.Poster());
    platform::SetOsc(&osc);

    std::vector<double> latency;
    size_t nDone = 0;
    {
        COscRemote remote;
        PlayTimes timing(remote);
        osc.SetListener(&timing);
        g_pDetectShow = new CShowWaveDlg(&launcher);
        g_bDetectShowOpen = true;
        if (!g_pDetectShow->Create()) {
            state.SkipWithError("window did not open");
            return;
        }
        g_pDetectShow->GetWindow()->Show(true);

        for (auto _ : state) {
            timing.done.clear();
            std::vector<Clock::time_point> sent(MESSAGES);
            std::thread sender([&sent, port = osc.ReceivePort()] {
                lo_address to = lo_address_new("127.0.0.1", std::to_string(port).c_str());
                for (int n = 0; n < MESSAGES; ++n) {
                    sent[n] = Clock::now();
                    lo_send(to, "/zarn/play", "i", 0);
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                lo_address_free(to);
            });
            QEventLoop loop;
            QTimer check;
            QObject::connect(&check, &QTimer::timeout, [&] {
                if (timing.done.size() >= MESSAGES) loop.quit();
            });
            check.start(5);
            QTimer::singleShot(30000, &loop, &QEventLoop::quit);
            loop.exec();
            sender.join();
            nDone = timing.done.size();
            // Datagrams lost on the way would shift the pairs.
            if (nDone == MESSAGES)
                for (int n = 0; n < MESSAGES; ++n) latency.push_back(Us(timing.done[n] - sent[n]));
        }
        if (g_pDetectShow) g_pDetectShow->CloseShow();
    }
    platform::SetOsc(nullptr);
    state.counters["played"] = static_cast<double>(nDone);
    state.counters["dropped"] = static_cast<double>(osc.Stats().nReceiveDropped);
    Report(state, "sent_to_play", latency);
    state.counters["sent_to_play_max_us"] = Quantile(latency, 1.0);
    platform::SetShowWindows(nullptr);
    platform::SetVideoFiles(nullptr);
}
BENCHMARK(BM_OscPlayLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
