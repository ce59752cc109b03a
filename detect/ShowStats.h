#pragma once
// The numbers of one detection show, as the run report gives them: on
// standard error as a block of lines, and as a JSON object.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int REPORT_CELLS = 21;

class CShowStats {
public:
    uint32_t nFramePeriodMs = 0;
    uint32_t nFramesShown = 0;
    uint32_t nFramesLate = 0;              // shown more than one period late
    uint32_t nRepeats = 0;                 // times the clip started again
    std::vector<double> tickLatenessMs;    // one per frame shown
    std::vector<double> triggerLatencyMs;  // a play tick to its sound's first mixed sample
    uint32_t nSoundsUnheard = 0;           // mixed while the audio output was gone
    std::array<uint32_t, REPORT_CELLS> soundsPerCell{};
    uint32_t nClips = 0;  // sounds loaded: cells from nClips on have none
    // OSC messages lost during the show because a queue was full; only
    // reported when OSC was in use.
    bool bOsc = false;
    uint64_t nOscSendDropped = 0;
    uint64_t nOscReceiveDropped = 0;
    // Camera shows: frames a newer one replaced before a frame tick took them.
    bool bCamera = false;
    uint64_t nCameraFramesDropped = 0;

    std::string Text() const;
    std::string Json() const;

    // The line said when a show starts with cells that have no sound; empty
    // when every cell has one.
    static std::string SilentCellsLine(uint32_t nClips);
};

// The value at quantile q (0 to 1) of the samples, nearest rank; the samples
// are sorted in place. 0 for none.
double NearestRank(std::vector<double>& samples, double q);

// A number with nDecimals places, whatever the process's locale says.
std::string FixedDecimals(double value, int nDecimals);
