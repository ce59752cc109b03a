#pragma once
// Clips and helpers shared by the detection benchmarks.

#include <QApplication>
#include <algorithm>
#include <string>
#include <vector>

#include "detect/DetectLauncher.h"

// A generated MJPEG clip at 25 frames per second with moving detail and
// bright blocks; written once per run into the test data folder.
std::string BenchClip(int width, int height, int frames);

// Milliseconds at quantile q (0 to 1) of the samples (sorted in place).
double Quantile(std::vector<double>& samples, double q);

QApplication& BenchApplication();

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
