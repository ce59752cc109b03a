#pragma once
// Helpers shared by the benchmark programs: times in milliseconds, quantiles,
// and clips that give a decoder real work, written once and kept.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ClipWriter.h"

using BenchClock = std::chrono::steady_clock;

double Ms(BenchClock::duration d);

// This thread's processor time: a call's own cost, whatever else the
// machine is running at the time.
double ThreadCpuMs();

// Milliseconds at quantile q (0 to 1) of the samples (sorted in place).
double Quantile(std::vector<double>& samples, double q);

// Moving gradients with some texture, so the codecs have real work.
void PaintMotion(int frame, uint8_t* rgb, int w, int h);

// The clip `name` in `folder`, painted by PaintMotion: written on the first
// run (aside, then moved into place) and reused after. Ends the program when
// it cannot be written.
std::string PersistentClip(const std::string& folder, const std::string& name,
                           const ClipOptions& options);
