#pragma once
// Clips and helpers shared by the detection benchmarks.

#include <QApplication>
#include <algorithm>
#include <string>
#include <vector>

// A generated MJPEG clip at 25 frames per second with moving detail and
// bright blocks; written once per run into the test data folder.
std::string BenchClip(int width, int height, int frames);

// Milliseconds at quantile q (0 to 1) of the samples (sorted in place).
double Quantile(std::vector<double>& samples, double q);

QApplication& BenchApplication();
