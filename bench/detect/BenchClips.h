#pragma once
// Clips and helpers shared by the detection benchmarks.

#include <QApplication>
#include <algorithm>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "detect/DetectLauncher.h"

// A generated MJPEG clip, at 25 frames per second unless rate says otherwise,
// with moving detail and bright blocks; written once per run into the test
// data folder.
std::string BenchClip(int width, int height, int frames, int rate = 25);

QApplication& BenchApplication();

// Runs the benchmarks the command line selects, offscreen unless
// QT_QPA_PLATFORM says otherwise; the program's exit status.
int RunQtBenchmarks(int argc, char** argv);

// The launcher's values for a clip with no sounds.
struct ClipLauncher final : IDetectLauncher {
    std::string strAviPath;
    int GetCaptureDriver() const override { return -1; }
    int GetUseCamera() const override { return 0; }
    int GetWaveCount() const override { return 0; }
    std::string GetWaveName(int) const override { return {}; }
    std::string GetWaveFolder() const override { return {}; }
    std::string GetAviPath() const override { return strAviPath; }
};
