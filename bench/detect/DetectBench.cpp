// The clip-mode frame tick of the detection window, offscreen: the whole tick
// through the Qt host, then its parts one by one on the same clip, and the
// ranking alone.

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QCoreApplication>
#include <QImage>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "bench/detect/BenchClips.h"
#include "detect/DetectLauncher.h"
#include "detect/ShowWaveDlg.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/qt/QtDeviceContext.h"
#include "tests/support/qt/QtProbedShowWindows.h"

namespace {

using Clock = std::chrono::steady_clock;

// Time the calling thread has spent ready to run but not running, as the
// kernel counts it: what the tick lost to other threads on its core.
double RunnableWaitMs() {
    FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    if (!f) return 0.0;
    unsigned long long running = 0, waiting = 0;
    if (std::fscanf(f, "%llu %llu", &running, &waiting) != 2) waiting = 0;
    std::fclose(f);
    return static_cast<double>(waiting) / 1e6;
}

void Report(benchmark::State& state, const char* name, std::vector<double> samples) {
    state.counters[std::string(name) + "_med_ms"] = Quantile(samples, 0.5);
    state.counters[std::string(name) + "_p99_ms"] = Quantile(samples, 0.99);
}

// Every tick of a clip's playback through the real window, shown offscreen:
// the tick itself, then the repaint of what it changed. Paced runs start
// each tick at its place on the clip's own period, as the window's timer
// does, and stop after `maxTicks`; unpaced ones run the ticks back to back.
void RunFrameTicks(benchmark::State& state, bool paced, size_t maxTicks) {
    BenchApplication();
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    const int frames = static_cast<int>(state.range(2));
    ClipLauncher launcher;
    launcher.strAviPath = BenchClip(w, h, frames);
    FfmpegVideoFiles ffmpeg;
    QtProbedShowWindows windows;
    platform::SetVideoFiles(&ffmpeg);
    platform::SetShowWindows(&windows);

    std::vector<double> ticks, paints, total, rankTicks, tickCpu, paintCpu, waits;
    for (auto _ : state) {
        g_pDetectShow = new CShowWaveDlg(&launcher);
        g_bDetectShowOpen = true;
        if (!g_pDetectShow->Create()) {
            state.SkipWithError("window did not open");
            break;
        }
        QtWindowProbe* wnd = windows.Last();
        wnd->Widget()->show();
        // Let the offscreen platform expose the window so repaints really paint.
        QCoreApplication::processEvents();
        const auto period = std::chrono::milliseconds(g_pDetectShow->FramePeriod());
        auto due = Clock::now();
        while (wnd->HasTimer(TIMER_FRAME) && ticks.size() < maxTicks) {
            if (paced) {
                due += period;
                std::this_thread::sleep_until(due);
            }
            const bool playArmed = wnd->HasTimer(TIMER_PLAY);
            QSocketNotifier* frameTimer = wnd->ReadyTimer(TIMER_FRAME);
            const int32_t before = g_pDetectShow->TickCount();
            const double w0 = RunnableWaitMs();
            const double c0 = ThreadCpuMs();
            const auto t0 = Clock::now();
            wnd->SendReady(frameTimer);
            const auto t1 = Clock::now();
            const double c1 = ThreadCpuMs();
            wnd->Widget()->repaint();
            const auto t2 = Clock::now();
            const double c2 = ThreadCpuMs();
            const double w2 = RunnableWaitMs();
            if (!wnd->HasTimer(TIMER_FRAME)) break;  // the clip's end: nothing drawn
            ticks.push_back(Ms(t1 - t0));
            tickCpu.push_back(c1 - c0);
            paints.push_back(Ms(t2 - t1));
            paintCpu.push_back(c2 - c1);
            waits.push_back(w2 - w0);
            total.push_back(Ms(t2 - t0));
            if (g_pDetectShow->TickCount() < before) rankTicks.push_back(Ms(t1 - t0));
            if (playArmed) wnd->SendTimer(TIMER_PLAY);
        }
        g_pDetectShow->CloseShow();
    }
    Report(state, "tick", ticks);
    Report(state, "tick_cpu", tickCpu);
    Report(state, "paint", paints);
    Report(state, "paint_cpu", paintCpu);
    Report(state, "runnable_wait", waits);
    Report(state, "tick+paint", total);
    Report(state, "ranking_tick", rankTicks);
    state.counters["ticks"] = static_cast<double>(ticks.size());
    platform::SetShowWindows(nullptr);
    platform::SetVideoFiles(nullptr);
}

void BM_FrameTick(benchmark::State& state) { RunFrameTicks(state, false, SIZE_MAX); }
BENCHMARK(BM_FrameTick)
    ->Args({640, 480, 300})
    ->Args({1920, 1080, 300})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The window's real rhythm: a tick every frame period with the processor
// free in between, which is what the decoder can use to work ahead.
void BM_FrameTickPaced(benchmark::State& state) { RunFrameTicks(state, true, 200); }
BENCHMARK(BM_FrameTickPaced)
    ->Args({640, 480, 300})
    ->Args({1920, 1080, 300})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Decoding alone, as the backend does it (one thread), for the split of
// GetFrame into decoding and conversion.
std::vector<double> DecodeOnly(const std::string& path) {
    std::vector<double> samples;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return samples;
    avformat_find_stream_info(input, nullptr);
    const AVCodec* decoder = nullptr;
    const int index = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, input->streams[index]->codecpar);
    codec->thread_count = 1;
    avcodec_open2(codec, decoder, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    while (av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == index) {
            const auto t0 = Clock::now();
            avcodec_send_packet(codec, packet);
            while (avcodec_receive_frame(codec, frame) == 0) av_frame_unref(frame);
            samples.push_back(Ms(Clock::now() - t0));
        }
        av_packet_unref(packet);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&input);
    return samples;
}

// The tick's parts on the same clip: decoding, decoding with conversion to
// packed BGR (the reader's GetFrame), the unscaled frame draw, the channel
// copy, the display of the copy (flip and grey bitmap copy) and a ranking.
void BM_TickParts(benchmark::State& state) {
    BenchApplication();
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    const int frames = static_cast<int>(state.range(2));
    const std::string path = BenchClip(w, h, frames);
    FfmpegVideoFiles ffmpeg;

    std::vector<double> decode, getFrame, again, draw, channel, display, rank;
    for (auto _ : state) {
        decode = DecodeOnly(path);

        auto file = ffmpeg.Open(path.c_str());
        auto stream = file ? file->GetStream(0) : nullptr;
        auto reader = stream ? stream->OpenFrameReader() : nullptr;
        if (!reader) {
            state.SkipWithError("clip did not open");
            break;
        }
        QImage surface(1024, 768, QImage::Format_RGB32);
        surface.fill(Qt::black);
        QtDeviceContext dc(surface);
        std::vector<uint8_t> chan(static_cast<size_t>(w) * h), view(chan.size());
        const BitmapInfoPtr grey = CShowWaveDlg::MakeBitmapInfo(w, h, 1);
        const int left = (1024 - w) / 2;
        const int top = (768 - h) / 2;
        CellScore cells[3];
        for (uint32_t n = 0; n < static_cast<uint32_t>(frames); ++n) {
            auto t0 = Clock::now();
            const uint8_t* bits = reader->GetFrame(n);
            auto t1 = Clock::now();
            if (!bits) break;
            getFrame.push_back(Ms(t1 - t0));
            // The tick asks for each frame twice: its channel copy, then the
            // next tick's draw.
            t0 = Clock::now();
            bits = reader->GetFrame(n);
            t1 = Clock::now();
            again.push_back(Ms(t1 - t0));
            const auto* bmi = reinterpret_cast<const BITMAPINFO*>(bits);
            const uint8_t* pixels = bits + bmi->bmiHeader.biSize;

            t0 = Clock::now();
            dc.StretchDIBits(left, top, w, h, 0, 0, w, h, pixels, bmi);
            t1 = Clock::now();
            draw.push_back(Ms(t1 - t0));

            t0 = Clock::now();
            CAviControl::ExtractChannel(pixels, chan.data(), w, h, 1);
            t1 = Clock::now();
            channel.push_back(Ms(t1 - t0));

            t0 = Clock::now();
            CShowWaveDlg::FlipToView(chan.data(), view.data(), w, h, 1);
            dc.StretchDIBits(left, top, w, h, 0, 0, w, h, view.data(), grey.get());
            t1 = Clock::now();
            display.push_back(Ms(t1 - t0));

            t0 = Clock::now();
            CShowWaveDlg::RankCells(chan.data(), w, h, 3, 7, cells);
            t1 = Clock::now();
            rank.push_back(Ms(t1 - t0));
            benchmark::DoNotOptimize(cells);
        }
    }
    Report(state, "decode", decode);
    Report(state, "decode+convert", getFrame);
    Report(state, "same_frame_again", again);
    Report(state, "draw", draw);
    Report(state, "channel", channel);
    Report(state, "display", display);
    Report(state, "rank", rank);
}
BENCHMARK(BM_TickParts)
    ->Args({640, 480, 300})
    ->Args({1920, 1080, 300})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_RankCells1920x1080(benchmark::State& state) {
    std::vector<uint8_t> image(1920 * 1080);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    CellScore cells[3];
    for (auto _ : state) {
        CShowWaveDlg::RankCells(image.data(), 1920, 1080, 3, 7, cells);
        benchmark::DoNotOptimize(cells);
    }
}
BENCHMARK(BM_RankCells1920x1080)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
