#include "detect/ShowStats.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// "10-20", or "20" alone.
std::string SilentRange(uint32_t nClips) {
    if (nClips == REPORT_CELLS - 1) return std::to_string(nClips);
    return std::to_string(nClips) + "-" + std::to_string(REPORT_CELLS - 1);
}

struct Spread {
    double median, p99, max;
};

Spread SpreadOf(std::vector<double> samples) {
    return {NearestRank(samples, 0.5), NearestRank(samples, 0.99), NearestRank(samples, 1.0)};
}

std::string Sounds(size_t n) { return std::to_string(n) + (n == 1 ? " sound" : " sounds"); }

std::string JsonOrNull(const std::vector<double>& samples, double value) {
    return samples.empty() ? "null" : FixedDecimals(value, 3);
}

}  // namespace

double NearestRank(std::vector<double>& samples, double q) {
    if (samples.empty()) return 0.0;
    std::sort(samples.begin(), samples.end());
    const double rank = std::ceil(q * static_cast<double>(samples.size()));
    const size_t k = rank < 1.0 ? 0 : static_cast<size_t>(rank) - 1;
    return samples[std::min(k, samples.size() - 1)];
}

std::string FixedDecimals(double value, int nDecimals) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, nDecimals);
    return std::string(text, result.ptr);
}

std::string CShowStats::SilentCellsLine(uint32_t nClips) {
    if (nClips >= REPORT_CELLS) return {};
    return std::string("detection show: ") + (nClips == REPORT_CELLS - 1 ? "cell " : "cells ") +
           SilentRange(nClips) + (nClips == REPORT_CELLS - 1 ? " has" : " have") + " no sound (" +
           std::to_string(nClips) + " of " + std::to_string(REPORT_CELLS) + " sounds loaded)";
}

std::string CShowStats::Text() const {
    const Spread late = SpreadOf(tickLatenessMs);
    const Spread trigger = SpreadOf(triggerLatencyMs);
    std::string s = "detection show report\n";
    s += "  frames shown: " + std::to_string(nFramesShown) + " at " +
         std::to_string(nFramePeriodMs) +
         " ms, late by more than a period: " + std::to_string(nFramesLate) + "\n";
    if (nRepeats > 0) s += "  clip started again: " + std::to_string(nRepeats) + " times\n";
    if (bCamera)
        s += "  camera frames dropped (replaced before a tick took them): " +
             std::to_string(nCameraFramesDropped) + "\n";
    s += "  frame-tick lateness: median " + FixedDecimals(late.median, 1) + " ms, p99 " +
         FixedDecimals(late.p99, 1) + " ms, max " + FixedDecimals(late.max, 1) + " ms\n";
    if (triggerLatencyMs.empty()) {
        s += "  trigger latency: no sound reached the audio output\n";
    } else {
        s += "  trigger latency (play tick to first mixed sample): median " +
             FixedDecimals(trigger.median, 1) + " ms, p99 " + FixedDecimals(trigger.p99, 1) +
             " ms, " + Sounds(triggerLatencyMs.size()) + "\n";
    }
    if (nSoundsUnheard != 0)
        s += "  played while the audio output was gone: " + Sounds(nSoundsUnheard) + "\n";
    s += "  sounds per cell:";
    for (int n = 0; n < REPORT_CELLS; ++n)
        s += " " + std::to_string(n) + ":" + std::to_string(soundsPerCell[n]);
    s += "\n  silent cells: ";
    s += nClips >= REPORT_CELLS ? "none" : SilentRange(nClips);
    s += " (" + std::to_string(std::min<uint32_t>(nClips, REPORT_CELLS)) + " sounds loaded)\n";
    if (bOsc) {
        s += "  OSC messages dropped: " + std::to_string(nOscSendDropped) + " outgoing, " +
             std::to_string(nOscReceiveDropped) + " incoming\n";
    }
    return s;
}

std::string CShowStats::Json() const {
    const Spread late = SpreadOf(tickLatenessMs);
    const Spread trigger = SpreadOf(triggerLatencyMs);
    std::string s = "{\"frame_period_ms\": " + std::to_string(nFramePeriodMs);
    s += ", \"frames_shown\": " + std::to_string(nFramesShown);
    s += ", \"frames_late\": " + std::to_string(nFramesLate);
    s += ", \"repeats\": " + std::to_string(nRepeats);
    s += ", \"frame_tick_lateness_ms\": {\"median\": " + JsonOrNull(tickLatenessMs, late.median) +
         ", \"p99\": " + JsonOrNull(tickLatenessMs, late.p99) +
         ", \"max\": " + JsonOrNull(tickLatenessMs, late.max) + "}";
    s += ", \"trigger_latency_ms\": {\"median\": " + JsonOrNull(triggerLatencyMs, trigger.median) +
         ", \"p99\": " + JsonOrNull(triggerLatencyMs, trigger.p99) +
         ", \"count\": " + std::to_string(triggerLatencyMs.size()) + "}";
    s += ", \"sounds_unheard\": " + std::to_string(nSoundsUnheard);
    s += ", \"sounds_per_cell\": [";
    for (int n = 0; n < REPORT_CELLS; ++n) s += (n ? ", " : "") + std::to_string(soundsPerCell[n]);
    s += "], \"silent_cells\": [";
    for (uint32_t n = nClips; n < REPORT_CELLS; ++n)
        s += (n > nClips ? ", " : "") + std::to_string(n);
    s += "], \"osc_dropped\": ";
    s += bOsc ? "{\"outgoing\": " + std::to_string(nOscSendDropped) +
                    ", \"incoming\": " + std::to_string(nOscReceiveDropped) + "}"
              : std::string("null");
    s += ", \"camera_frames_dropped\": ";
    s += bCamera ? std::to_string(nCameraFramesDropped) : std::string("null");
    s += "}";
    return s;
}
