#include "tests/support/FrameStamp.h"

#include <cstring>

namespace {

constexpr int kBlock = 16;
constexpr int kBitsPerRow = 8;

// Top-left corner of bit `bit`'s block, in top-down picture coordinates.
void BitBlock(int bit, int& x, int& y) {
    x = (bit % kBitsPerRow) * kBlock;
    y = (bit / kBitsPerRow) * kBlock;
}

void Fill(uint8_t* rgb, int width, int x0, int y0, int size, uint8_t r, uint8_t g, uint8_t b) {
    for (int y = y0; y < y0 + size; ++y)
        for (int x = x0; x < x0 + size; ++x) {
            uint8_t* p = rgb + (static_cast<size_t>(y) * width + x) * 3;
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
}

// Mean of byte `c` over the inner 8 x 8 of a block of a bottom-up frame.
double BlockMean(const uint8_t* bgr, int width, int height, int x0, int y0, int c) {
    double sum = 0;
    for (int y = y0 + 4; y < y0 + 12; ++y)
        for (int x = x0 + 4; x < x0 + 12; ++x)
            sum += bgr[(static_cast<size_t>(height - 1 - y) * width + x) * 3 + c];
    return sum / 64;
}

}  // namespace

void PaintFrameStamp(int frame, uint8_t* rgb, int width, int height) {
    std::memset(rgb, 128, static_cast<size_t>(width) * height * 3);
    for (int bit = 0; bit < 16; ++bit) {
        int x, y;
        BitBlock(bit, x, y);
        const uint8_t v = (frame >> bit) & 1 ? 255 : 0;
        Fill(rgb, width, x, y, kBlock, v, v, v);
    }
    Fill(rgb, width, kBitsPerRow * kBlock, 0, kBlock, 255, 0, 0);
}

int ReadFrameStamp(const uint8_t* bgr, int width, int height) {
    int frame = 0;
    for (int bit = 0; bit < 16; ++bit) {
        int x, y;
        BitBlock(bit, x, y);
        const double level = BlockMean(bgr, width, height, x, y, 1);
        if (level > 192)
            frame |= 1 << bit;
        else if (level > 64)
            return -1;
    }
    return frame;
}

void ReadStampRed(const uint8_t* bgr, int width, int height, double out[3]) {
    for (int c = 0; c < 3; ++c) out[c] = BlockMean(bgr, width, height, kBitsPerRow * kBlock, 0, c);
}
