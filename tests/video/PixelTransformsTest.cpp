#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tests/support/TestSeed.h"
#include "video/AviControl.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A 2 x 2 frame: bottom row first in memory, blue-green-red pixels.
const Bytes kFrame2x2 = {10, 20, 31, 0, 0, 2, 0, 0, 255, 255, 255, 255};

// Channels 1 and 2 are red and green; 3 and above the mean of the three, rounded down.
TEST(PixelTransforms, ChannelsOfATwoByTwoFrame) {
    struct {
        int channel;
        Bytes expected;
    } const channels[] = {
        {1, {255, 255, 31, 2}}, {2, {0, 255, 20, 0}}, {3, {85, 255, 20, 0}}, {7, {85, 255, 20, 0}}};
    for (const auto& c : channels) {
        Bytes out(4, 0xEE);
        CAviControl::ExtractChannel(kFrame2x2.data(), out.data(), 2, 2, c.channel);
        EXPECT_EQ(out, c.expected) << "channel " << c.channel;
    }
}

TEST(PixelTransforms, EmptyRegionsAndChannelsBelowOneWriteNothing) {
    Bytes out(8, 0xEE);
    CAviControl::ExtractChannelRegion(kFrame2x2.data(), out.data(), 2, 2, 1, 0, 1, 2, 1);
    CAviControl::ExtractChannelRegion(kFrame2x2.data(), out.data(), 2, 2, 0, 1, 2, 1, 1);
    CAviControl::ExtractChannel(kFrame2x2.data(), out.data(), 2, 2, 0);
    CAviControl::ExtractChannel(kFrame2x2.data(), out.data(), 2, 2, -1);
    CAviControl::ExtractChannelRegion(kFrame2x2.data(), out.data(), 2, 2, 0, 0, 2, 2, 0);
    EXPECT_EQ(out, Bytes(8, 0xEE));
}

// Pixel (x, y) counted from the top, as the frame layout defines it.
const uint8_t* SourcePixel(const Bytes& src, int width, int height, int x, int y) {
    return &src[(static_cast<size_t>(height - 1 - y) * width + x) * 3];
}

uint8_t ChannelValue(const uint8_t* p, int channel) {
    if (channel >= 3) return static_cast<uint8_t>((p[0] + p[1] + p[2]) / 3);
    return p[3 - channel];
}

Bytes RandomFrame(int width, int height, std::mt19937& rng) {
    Bytes frame(static_cast<size_t>(width) * height * 3);
    for (auto& b : frame) b = static_cast<uint8_t>(rng());
    return frame;
}

// The copies are checked pixel by pixel against the layout definitions at
// every width up to 641, which splits rows every way the row kernels' vector
// steps and tails can, at heights 1 to 5 (odd ones leave a middle row for
// the in-place flip), and with guard bytes that would catch a write past the
// destination.
TEST(PixelTransforms, EveryWidthMatchesThePixelLayout) {
    std::mt19937 rng(TestSeed("pixel transforms"));
    const size_t guard = 64;
    for (int w = 1; w <= 641; ++w) {
        const int h = 1 + w % 5;
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const Bytes src = RandomFrame(w, h, rng);
        const size_t n = static_cast<size_t>(w) * h;

        Bytes rgb(n * 3 + guard, 0xA5);
        CAviControl::FlipSwapCopy(src.data(), rgb.data(), w, h);
        Bytes inPlace = src;
        CAviControl::FlipSwapInPlace(inPlace.data(), w, h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* s = SourcePixel(src, w, h, x, y);
                const size_t o = (static_cast<size_t>(y) * w + x) * 3;
                ASSERT_EQ(rgb[o], s[2]);
                ASSERT_EQ(rgb[o + 1], s[1]);
                ASSERT_EQ(rgb[o + 2], s[0]);
            }
        }
        EXPECT_TRUE(std::equal(inPlace.begin(), inPlace.end(), rgb.begin()));
        for (size_t g = n * 3; g < rgb.size(); ++g) ASSERT_EQ(rgb[g], 0xA5);

        for (int channel : {1, 2, 3}) {
            Bytes out(n + guard, 0xA5);
            CAviControl::ExtractChannel(src.data(), out.data(), w, h, channel);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(out[static_cast<size_t>(y) * w + x],
                              ChannelValue(SourcePixel(src, w, h, x, y), channel))
                        << "channel " << channel << " at " << x << "," << y;
            for (size_t g = n; g < out.size(); ++g) ASSERT_EQ(out[g], 0xA5);
        }

        // A region away from the left edge and the top row.
        const int x0 = w / 3, x1 = w - w / 4, y0 = h / 2, y1 = h;
        Bytes region(static_cast<size_t>(x1 - x0) * (y1 - y0) + guard, 0xA5);
        CAviControl::ExtractChannelRegion(src.data(), region.data(), w, h, x0, y0, x1, y1, 1);
        size_t o = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) ASSERT_EQ(region[o++], SourcePixel(src, w, h, x, y)[2]);
        for (; o < region.size(); ++o) ASSERT_EQ(region[o], 0xA5);
    }
}

}  // namespace
