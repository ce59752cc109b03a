#pragma once
// Helpers of the gate show tests: clips whose frames carry their numbers, and
// the show driven tick by tick on a host that delivers messages at once.

#include <string>
#include <vector>

// A clip at 1 frame per second, so a segment's seconds are its frame
// numbers; each frame is stamped with its number (exact, uncompressed).
// Written once per test program.
std::string StampedClip(int frames);

// Where the table puts gate g's segment k (start, loop, first and second
// ending) at 1 frame per second, clamped to a clip of `length` frames.
struct SegmentFrames {
    int first, last;
};
SegmentFrames GateSegment(int g, int k, int length = 160);

// Appends what ticks draw playing frames first to last of a clip of `length`
// frames (-1 for a frame past its end, which draws nothing) and, with
// bRunOut, the tick that finds the segment run out.
void AppendPlay(std::vector<int>& ticks, int first, int last, int length, bool bRunOut = true);

// Points inside zone 0 and zone 1, and one between them.
constexpr int ZONE_POINTS[2][2] = {{580, 200}, {880, 200}};
constexpr int GAP_POINT[2] = {730, 200};
