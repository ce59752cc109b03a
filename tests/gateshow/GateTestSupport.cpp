#include "tests/gateshow/GateTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "tests/support/ClipWriter.h"
#include "tests/support/FrameStamp.h"

std::string StampedClip(int frames) {
    static std::set<int> written;
    const std::string path = TestDataPath("gate-stamped-" + std::to_string(frames) + ".avi");
    if (written.insert(frames).second) {
        ClipOptions o;
        o.width = FRAME_STAMP_MIN_WIDTH;
        o.height = FRAME_STAMP_MIN_HEIGHT;
        o.rateNum = 1;
        o.frames = frames;
        // Written aside and renamed, as tests running in parallel share it.
        const std::string part = path + "." + std::to_string(getpid()) + ".part";
        std::string error;
        EXPECT_TRUE(WriteClip(part, o, PaintFrameStamp, &error)) << error;
        EXPECT_EQ(std::rename(part.c_str(), path.c_str()), 0) << path;
    }
    return path;
}

SegmentFrames GateSegment(int g, int k, int length) {
    static const int FIRST[] = {0, 14, 20, 30};
    static const int LAST[] = {13, 19, 29, 39};
    return {std::min(40 * g + FIRST[k], length), std::min(40 * g + LAST[k], length)};
}

void AppendPlay(std::vector<int>& ticks, int first, int last, int length, bool bRunOut) {
    for (int f = first; f <= last; ++f) ticks.push_back(f < length ? f : -1);
    if (bRunOut) ticks.push_back(-1);
}
