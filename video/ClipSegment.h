#pragma once
// One named range of frames of a clip, with the cursor of the next frame to draw.

#include <cstdint>

constexpr int CLIP_SEGMENT_NAME_BYTES = 128;

struct ClipSegment {
    char szName[CLIP_SEGMENT_NAME_BYTES];
    uint32_t dwFirstFrame;
    uint32_t dwLastFrame;  // inclusive
    uint32_t dwCursor;     // runs from dwFirstFrame to dwLastFrame + 1
};
