#include "bench/detect/BenchClips.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "tests/support/ClipWriter.h"

std::string BenchClip(int width, int height, int frames, int rate) {
    static std::map<std::string, bool> written;
    const std::string name = "bench-detect-" + std::to_string(width) + "x" +
                             std::to_string(height) + "-" + std::to_string(frames) +
                             (rate == 25 ? "" : "-" + std::to_string(rate) + "fps") + ".avi";
    const std::string path = TestDataPath(name);
    if (written[path]) return path;

    ClipOptions options;
    options.codec = ClipCodec::Mjpeg;
    options.width = width;
    options.height = height;
    options.frames = frames;
    options.rateNum = rate;
    std::string error;
    const bool ok = WriteClip(
        path, options,
        [](int frame, uint8_t* rgb, int w, int h) {
            const int bx = (frame * 7) % std::max(w - w / 8, 1);
            const int by = (frame * 3) % std::max(h - h / 6, 1);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    uint8_t* p = rgb + (static_cast<size_t>(y) * w + x) * 3;
                    const bool block = x >= bx && x < bx + w / 8 && y >= by && y < by + h / 6;
                    p[0] = block ? 250 : static_cast<uint8_t>(x + frame * 4);
                    p[1] = static_cast<uint8_t>(y * 2 + frame);
                    p[2] = static_cast<uint8_t>((x ^ y) + frame * 3);
                }
            }
        },
        &error);
    if (!ok) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
    }
    written[path] = true;
    return path;
}

QApplication& BenchApplication() {
    static int argc = 1;
    static char name[] = "zarn_detect_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

int RunQtBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
