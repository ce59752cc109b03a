#pragma once
// What the backend learns about one stream when a file is opened; a frame
// reader later reopens the file from its source and finds the stream by index.

#include <cstdint>

#include "platform/ffmpeg/FfmpegInput.h"

extern "C" {
#include <libavutil/rational.h>
}

struct FfmpegStreamDesc {
    ffmpeg::Source source;
    int nIndex = 0;
    uint32_t fccType = 0;
    uint32_t dwLength = 0;  // frames for video
    uint32_t fccHandler = 0;
    int nWidth = 0;
    int nHeight = 0;
    // Frames per second as rate / scale, and one frame's duration in stream time.
    uint32_t dwRate = 0;
    uint32_t dwScale = 0;
    AVRational timeBase{0, 1};
    int64_t nStartTime = 0;  // stream time of frame 0
    // Readers fetch the next frame ahead on a thread of their own. Off for a
    // caller that never waits for the clock: the work then stays on one
    // thread and costs no hand-overs.
    bool bReadAhead = true;
    // The decoder may decode two frames at once, where the codec can.
    bool bDecoderThreads = false;
};
