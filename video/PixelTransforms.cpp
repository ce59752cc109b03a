// Rearrangements of packed 24-bit bottom-up blue-green-red frames into
// top-down RGB and single-channel images. They run once per frame on full
// frames, so the row kernels use SSSE3 byte shuffles where the processor has
// them; the plain loops below give the same bytes everywhere else.

#include <cstring>
#include <memory>

#include "video/AviControl.h"

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define ZARN_HAVE_SSSE3_PATH 1
#endif

namespace {

// Blue-green-red to red-green-blue for one row; src and dst do not overlap.
void SwapRowPlain(const uint8_t* __restrict src, uint8_t* __restrict dst, int pixels) {
    for (int i = 0; i < pixels; ++i) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        src += 3;
        dst += 3;
    }
}

// Byte `pick` (0..2) of every pixel of one row.
void PickRowPlain(const uint8_t* __restrict src, uint8_t* __restrict dst, int pixels, int pick) {
    src += pick;
    for (int i = 0; i < pixels; ++i) dst[i] = src[3 * i];
}

void GreyRow(const uint8_t* __restrict src, uint8_t* __restrict dst, int pixels) {
    for (int i = 0; i < pixels; ++i) {
        const unsigned sum = src[3 * i] + src[3 * i + 1] + src[3 * i + 2];
        dst[i] = static_cast<uint8_t>(sum / 3);
    }
}

#ifdef ZARN_HAVE_SSSE3_PATH

// Sixteen pixels (48 bytes) per step: each output vector gathers its bytes
// from the two or three input vectors they fall in.
struct SwapMasks {
    alignas(16) int8_t m[3][3][16];  // [output vector][input vector][byte]
    SwapMasks() {
        for (int out = 0; out < 3; ++out)
            for (int in = 0; in < 3; ++in)
                for (int i = 0; i < 16; ++i) {
                    const int k = 16 * out + i;
                    const int from = 3 * (k / 3) + 2 - k % 3;
                    m[out][in][i] = from / 16 == in ? static_cast<int8_t>(from % 16) : int8_t(-128);
                }
    }
};
const SwapMasks g_swapMasks;

__attribute__((target("ssse3"))) void SwapRowSsse3(const uint8_t* __restrict src,
                                                   uint8_t* __restrict dst, int pixels) {
    const auto mask = [](int out, int in) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(g_swapMasks.m[out][in]));
    };
    const __m128i m00 = mask(0, 0), m01 = mask(0, 1);
    const __m128i m10 = mask(1, 0), m11 = mask(1, 1), m12 = mask(1, 2);
    const __m128i m21 = mask(2, 1), m22 = mask(2, 2);
    int i = 0;
    for (; pixels - i >= 16; i += 16) {
        const uint8_t* s = src + 3 * i;
        uint8_t* d = dst + 3 * i;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        const __m128i o0 = _mm_or_si128(_mm_shuffle_epi8(a, m00), _mm_shuffle_epi8(b, m01));
        const __m128i o1 =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m10), _mm_shuffle_epi8(b, m11)),
                         _mm_shuffle_epi8(c, m12));
        const __m128i o2 = _mm_or_si128(_mm_shuffle_epi8(b, m21), _mm_shuffle_epi8(c, m22));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), o0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), o1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), o2);
    }
    SwapRowPlain(src + 3 * i, dst + 3 * i, pixels - i);
}

// Sixteen pixels (48 bytes) per step: three shuffles gather byte `pick` of
// each pixel from the three loads into one 16-byte result.
__attribute__((target("ssse3"))) void PickRowSsse3(const uint8_t* __restrict src,
                                                   uint8_t* __restrict dst, int pixels, int pick) {
    alignas(16) int8_t masks[3][16];
    for (int part = 0; part < 3; ++part) {
        for (int k = 0; k < 16; ++k) {
            const int from = 3 * k + pick - 16 * part;
            masks[part][k] = (from >= 0 && from < 16) ? static_cast<int8_t>(from) : int8_t(-128);
        }
    }
    const __m128i m0 = _mm_load_si128(reinterpret_cast<const __m128i*>(masks[0]));
    const __m128i m1 = _mm_load_si128(reinterpret_cast<const __m128i*>(masks[1]));
    const __m128i m2 = _mm_load_si128(reinterpret_cast<const __m128i*>(masks[2]));
    int i = 0;
    for (; pixels - i >= 16; i += 16) {
        const uint8_t* s = src + 3 * i;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        const __m128i out =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m0), _mm_shuffle_epi8(b, m1)),
                         _mm_shuffle_epi8(c, m2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
    }
    PickRowPlain(src + 3 * i, dst + i, pixels - i, pick);
}

const bool g_bSsse3 = __builtin_cpu_supports("ssse3");

void SwapRow(const uint8_t* src, uint8_t* dst, int pixels) {
    if (g_bSsse3)
        SwapRowSsse3(src, dst, pixels);
    else
        SwapRowPlain(src, dst, pixels);
}

void PickRow(const uint8_t* src, uint8_t* dst, int pixels, int pick) {
    if (g_bSsse3)
        PickRowSsse3(src, dst, pixels, pick);
    else
        PickRowPlain(src, dst, pixels, pick);
}

#else

void SwapRow(const uint8_t* src, uint8_t* dst, int pixels) { SwapRowPlain(src, dst, pixels); }
void PickRow(const uint8_t* src, uint8_t* dst, int pixels, int pick) {
    PickRowPlain(src, dst, pixels, pick);
}

#endif

// Channel 1 is red (byte 2), 2 green (byte 1); 3 and above the grey mean.
void ChannelRow(const uint8_t* src, uint8_t* dst, int pixels, int channel) {
    if (channel >= 3)
        GreyRow(src, dst, pixels);
    else
        PickRow(src, dst, pixels, 3 - channel);
}

size_t RowBytes(int width) { return static_cast<size_t>(width) * 3; }

}  // namespace

void CAviControl::FlipSwapCopy(const uint8_t* src, uint8_t* dst, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const size_t row = RowBytes(width);
    for (int i = 0; i < height; ++i)
        SwapRow(src + static_cast<size_t>(height - 1 - i) * row, dst + i * row, width);
}

// Works on pairs of rows (top with bottom) through one row of scratch, which
// stays in cache, instead of copying the whole image first.
void CAviControl::FlipSwapInPlace(uint8_t* buffer, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const size_t row = RowBytes(width);
    std::unique_ptr<uint8_t[]> scratch(new uint8_t[row]);
    for (int top = 0, bottom = height - 1; top <= bottom; ++top, --bottom) {
        uint8_t* upper = buffer + static_cast<size_t>(top) * row;
        uint8_t* lower = buffer + static_cast<size_t>(bottom) * row;
        std::memcpy(scratch.get(), upper, row);
        if (top != bottom) SwapRow(lower, upper, width);
        SwapRow(scratch.get(), lower, width);
    }
}

void CAviControl::ExtractChannel(const uint8_t* src, uint8_t* dst, int width, int height,
                                 int channel) {
    if (channel <= 0 || width <= 0 || height <= 0) return;
    const size_t row = RowBytes(width);
    for (int i = 0; i < height; ++i)
        ChannelRow(src + static_cast<size_t>(height - 1 - i) * row,
                   dst + static_cast<size_t>(i) * width, width, channel);
}

void CAviControl::ExtractChannelRegion(const uint8_t* src, uint8_t* dst, int width, int height,
                                       int x0, int y0, int x1, int y1, int channel) {
    if (channel <= 0 || x1 <= x0 || y1 <= y0) return;
    const size_t row = RowBytes(width);
    const int columns = x1 - x0;
    for (int y = y0; y < y1; ++y) {
        ChannelRow(src + static_cast<size_t>(height - 1 - y) * row + static_cast<size_t>(x0) * 3,
                   dst, columns, channel);
        dst += columns;
    }
}
