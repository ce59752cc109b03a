#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/qt/QtDibRows.h"
#include "tests/support/TestSeed.h"

namespace {

constexpr QRgb GUARD = 0x12345678u;
constexpr int GUARD_PIXELS = 8;

// Every width the row loops split differently (whole vector steps, the
// shorter steps and the plain tail), each from sources that start at every
// offset within a vector. The source ends exactly at the row's last byte, so
// AddressSanitizer sees any read past it; guard pixels catch writes past
// the destination row.
template <typename Convert, typename Expected>
void CheckEveryWidth(int nBytesPerPixel, Convert convert, Expected expected) {
    std::mt19937 rng(TestSeed("dib rows"));
    for (int width = 1; width <= 641; ++width) {
        for (int offset = 0; offset < 4; ++offset) {
            std::vector<uint8_t> src(offset + static_cast<size_t>(width) * nBytesPerPixel);
            for (uint8_t& b : src) b = static_cast<uint8_t>(rng());
            std::vector<QRgb> dst(offset + width + GUARD_PIXELS, GUARD);
            const uint8_t* row = src.data() + offset;
            convert(row, dst.data() + offset, width);
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(dst[offset + x], expected(row + x * nBytesPerPixel))
                    << "width " << width << " offset " << offset << " pixel " << x;
            for (int g = 0; g < offset; ++g) ASSERT_EQ(dst[g], GUARD);
            for (int g = 0; g < GUARD_PIXELS; ++g) ASSERT_EQ(dst[offset + width + g], GUARD);
        }
    }
}

TEST(QtDibRows, TwentyFourBitRowsAtEveryWidth) {
    CheckEveryWidth(3, BgrRowToRgb32, [](const uint8_t* p) { return qRgb(p[2], p[1], p[0]); });
}

TEST(QtDibRows, EightBitRowsAtEveryWidth) {
    std::vector<QRgb> grey(256), table(256);
    std::mt19937 rng(TestSeed("dib table"));
    for (unsigned i = 0; i < 256; ++i) {
        grey[i] = qRgb(i, i, i);
        table[i] = qRgb(rng() & 0xFF, rng() & 0xFF, rng() & 0xFF);
    }
    CheckEveryWidth(1, GreyRowToRgb32, [&](const uint8_t* p) { return grey[*p]; });
    CheckEveryWidth(
        1, [&](const uint8_t* s, QRgb* d, int n) { IndexedRowToRgb32(s, d, n, table.data()); },
        [&](const uint8_t* p) { return table[*p]; });

    EXPECT_TRUE(IsGreyRamp(grey.data()));
    for (int i : {0, 128, 255}) {
        std::vector<QRgb> almost = grey;
        almost[i] ^= 0x000100u;
        EXPECT_FALSE(IsGreyRamp(almost.data())) << "entry " << i;
    }
}

}  // namespace
