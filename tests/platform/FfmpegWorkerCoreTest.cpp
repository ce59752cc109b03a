#include <gtest/gtest.h>
#include <sched.h>

#include <thread>

#include "platform/ffmpeg/FfmpegWorkerCore.h"

namespace {

cpu_set_t Allowed() {
    cpu_set_t set;
    CPU_ZERO(&set);
    sched_getaffinity(0, sizeof set, &set);
    return set;
}

// A worker that leaves its caller's core is really elsewhere afterwards and
// keeps every core it was allowed: nothing stays pinned. One that has
// nowhere else to go stays as it is.
TEST(FfmpegWorkerCore, LeavesTheNamedCoreAndKeepsItsAllowedCores) {
    std::thread([] {
        const cpu_set_t before = Allowed();
        const int here = ffmpeg::CurrentCore();
        ASSERT_GE(here, 0);
        if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "one core only";

        ffmpeg::LeaveCore(here);
        const int moved = ffmpeg::CurrentCore();
        EXPECT_NE(moved, here);
        cpu_set_t after = Allowed();
        EXPECT_TRUE(CPU_EQUAL(&before, &after));

        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(moved, &one);
        ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
        ffmpeg::LeaveCore(moved);  // nowhere else allowed
        EXPECT_EQ(ffmpeg::CurrentCore(), moved);
        after = Allowed();
        EXPECT_TRUE(CPU_EQUAL(&one, &after));
    }).join();
}

}  // namespace
