// The one frame-rate gate of the shows and the replay, at its edges.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "video/FrameRate.h"

namespace {

TEST(FrameRate, PlaysOneToOneThousandInclusive) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double dRate;
        bool bPlayable;
    } cases[] = {
        {0.999, false},  {1.0, true},           {1000.0, true}, {1000.5, false},
        {1001.0, false}, {std::nan(""), false}, {inf, false},   {-inf, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPlayableFrameRate(c.dRate), c.bPlayable) << c.dRate;
}

TEST(FrameRate, PeriodIsAThousandOverTheWholeRate) {
    EXPECT_EQ(FramePeriodMs(1.0), 1000u);
    EXPECT_EQ(FramePeriodMs(25.0), 40u);
    EXPECT_EQ(FramePeriodMs(29.97), 34u);
    EXPECT_EQ(FramePeriodMs(1000.0), 1u);
}

}  // namespace
