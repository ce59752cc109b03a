// Rearrangements of packed 24-bit bottom-up blue-green-red frames into
// top-down RGB and single-channel images. They run once per frame on full
// frames, so the row kernels use AVX2 or SSSE3 byte shuffles where the
// processor has them; the plain loops below give the same bytes everywhere
// else.

#include "video/AviControl.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
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

// Row a gets the swapped pixels of row b and b those of a; a == b swaps one row.
void SwapRowPairPlain(uint8_t* a, uint8_t* b, int pixels) {
    for (int i = 0; i < pixels; ++i, a += 3, b += 3) {
        const uint8_t a0 = a[0], a1 = a[1], a2 = a[2];
        a[0] = b[2];
        a[1] = b[1];
        a[2] = b[0];
        b[0] = a2;
        b[1] = a1;
        b[2] = a0;
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

// Byte `pick` of each of 16 pixels, gathered from the three loads they span.
struct PickMasks {
    alignas(16) int8_t m[3][3][16];  // [pick][input vector][byte]
    PickMasks() {
        for (int pick = 0; pick < 3; ++pick)
            for (int part = 0; part < 3; ++part)
                for (int k = 0; k < 16; ++k) {
                    const int from = 3 * k + pick - 16 * part;
                    m[pick][part][k] =
                        from >= 0 && from < 16 ? static_cast<int8_t>(from) : int8_t(-128);
                }
    }
};
const PickMasks g_pickMasks;

// Rows are read bottom row first, so the processor's own prefetcher, which
// follows addresses upwards, starts cold at every row; the kernels fetch the
// row read next (`next`, may be null) alongside the one they work on.
#define ZARN_PREFETCH(p) _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0)

__attribute__((target("ssse3"))) inline __m128i SwapMask(int out, int in) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(g_swapMasks.m[out][in]));
}
__attribute__((target("ssse3"))) inline __m128i PickMask(int pick, int part) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(g_pickMasks.m[pick][part]));
}

// The three output vectors of 16 swapped pixels held in a, b, c.
struct Swapped128 {
    __m128i o0, o1, o2;
};
__attribute__((target("ssse3"))) inline Swapped128 Swap16(__m128i a, __m128i b, __m128i c) {
    return {_mm_or_si128(_mm_shuffle_epi8(a, SwapMask(0, 0)), _mm_shuffle_epi8(b, SwapMask(0, 1))),
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, SwapMask(1, 0)),
                                      _mm_shuffle_epi8(b, SwapMask(1, 1))),
                         _mm_shuffle_epi8(c, SwapMask(1, 2))),
            _mm_or_si128(_mm_shuffle_epi8(b, SwapMask(2, 1)), _mm_shuffle_epi8(c, SwapMask(2, 2)))};
}

__attribute__((target("ssse3"))) inline __m128i Load128(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
__attribute__((target("ssse3"))) inline void Store128(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

__attribute__((target("ssse3"))) void SwapRowSsse3(const uint8_t* __restrict src,
                                                   uint8_t* __restrict dst, int pixels,
                                                   const uint8_t* next) {
    int i = 0;
    for (; pixels - i >= 16; i += 16) {
        const uint8_t* s = src + 3 * i;
        if (next) ZARN_PREFETCH(next + 3 * i);
        const Swapped128 o = Swap16(Load128(s), Load128(s + 16), Load128(s + 32));
        Store128(dst + 3 * i, o.o0);
        Store128(dst + 3 * i + 16, o.o1);
        Store128(dst + 3 * i + 32, o.o2);
    }
    SwapRowPlain(src + 3 * i, dst + 3 * i, pixels - i);
}

// Byte `pick` of the 16 pixels at s.
__attribute__((target("ssse3"))) inline __m128i Pick16(const uint8_t* s, int pick) {
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(Load128(s), PickMask(pick, 0)),
                                     _mm_shuffle_epi8(Load128(s + 16), PickMask(pick, 1))),
                        _mm_shuffle_epi8(Load128(s + 32), PickMask(pick, 2)));
}

__attribute__((target("ssse3"))) void PickRowSsse3(const uint8_t* __restrict src,
                                                   uint8_t* __restrict dst, int pixels, int pick,
                                                   const uint8_t* next) {
    int i = 0;
    for (; pixels - i >= 16; i += 16) {
        if (next) ZARN_PREFETCH(next + 3 * i);
        Store128(dst + i, Pick16(src + 3 * i, pick));
    }
    PickRowPlain(src + 3 * i, dst + i, pixels - i, pick);
}

// Two rows of the same width exchanged and swapped in one pass: `a` gets
// the swapped pixels of `b` and `b` those of `a`; a == b swaps one row.
__attribute__((target("ssse3"))) void SwapRowPairSsse3(uint8_t* a, uint8_t* b, int pixels,
                                                       const uint8_t* next) {
    int i = 0;
    for (; pixels - i >= 16; i += 16) {
        uint8_t* pa = a + 3 * i;
        uint8_t* pb = b + 3 * i;
        if (next) ZARN_PREFETCH(next + 3 * i);
        const Swapped128 fromA = Swap16(Load128(pa), Load128(pa + 16), Load128(pa + 32));
        const Swapped128 fromB = Swap16(Load128(pb), Load128(pb + 16), Load128(pb + 32));
        Store128(pa, fromB.o0);
        Store128(pa + 16, fromB.o1);
        Store128(pa + 32, fromB.o2);
        Store128(pb, fromA.o0);
        Store128(pb + 16, fromA.o1);
        Store128(pb + 32, fromA.o2);
    }
    SwapRowPairPlain(a + 3 * i, b + 3 * i, pixels - i);
}

// AVX2 runs two of the 16-pixel groups at once, one in each 128-bit lane
// (the byte shuffles do not cross lanes): 32 pixels, 96 bytes, per step.
// Their tails stay in the same instruction encoding: calling into the
// SSSE3 kernels from here stalls on the switch between the two.
__attribute__((target("avx2"))) inline __m256i SwapMask256(int out, int in) {
    return _mm256_broadcastsi128_si256(SwapMask(out, in));
}

struct Swapped256 {
    __m256i o0, o1, o2;
};
__attribute__((target("avx2"))) inline Swapped256 Swap32(__m256i a, __m256i b, __m256i c) {
    return {_mm256_or_si256(_mm256_shuffle_epi8(a, SwapMask256(0, 0)),
                            _mm256_shuffle_epi8(b, SwapMask256(0, 1))),
            _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, SwapMask256(1, 0)),
                                            _mm256_shuffle_epi8(b, SwapMask256(1, 1))),
                            _mm256_shuffle_epi8(c, SwapMask256(1, 2))),
            _mm256_or_si256(_mm256_shuffle_epi8(b, SwapMask256(2, 1)),
                            _mm256_shuffle_epi8(c, SwapMask256(2, 2)))};
}

// Bytes [p, p + 16) in the low lane and [p + 48, p + 64) in the high one.
__attribute__((target("avx2"))) inline __m256i LoadLanes(const uint8_t* p) {
    return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 48),
                               reinterpret_cast<const __m128i*>(p));
}
// The 96 swapped bytes in memory order: each lane of o0, o1, o2 holds one
// 16-byte block of its group, so whole 32-byte stores take them lane by lane.
__attribute__((target("avx2"))) inline void StoreSwapped(uint8_t* p, const Swapped256& o) {
    auto* d = reinterpret_cast<__m256i*>(p);
    _mm256_storeu_si256(d, _mm256_permute2x128_si256(o.o0, o.o1, 0x20));
    _mm256_storeu_si256(d + 1, _mm256_permute2x128_si256(o.o2, o.o0, 0x30));
    _mm256_storeu_si256(d + 2, _mm256_permute2x128_si256(o.o1, o.o2, 0x31));
}

__attribute__((target("avx2"))) void SwapRowAvx2(const uint8_t* __restrict src,
                                                 uint8_t* __restrict dst, int pixels,
                                                 const uint8_t* next) {
    int i = 0;
    for (; pixels - i >= 32; i += 32) {
        const uint8_t* s = src + 3 * i;
        uint8_t* d = dst + 3 * i;
        if (next) {
            ZARN_PREFETCH(next + 3 * i);
            ZARN_PREFETCH(next + 3 * i + 64);
        }
        StoreSwapped(d, Swap32(LoadLanes(s), LoadLanes(s + 16), LoadLanes(s + 32)));
    }
    // The rest is less than one pass of these.
    SwapRowSsse3(src + 3 * i, dst + 3 * i, pixels - i, nullptr);
}

__attribute__((target("avx2"))) void PickRowAvx2(const uint8_t* __restrict src,
                                                 uint8_t* __restrict dst, int pixels, int pick,
                                                 const uint8_t* next) {
    const __m256i m0 = _mm256_broadcastsi128_si256(PickMask(pick, 0));
    const __m256i m1 = _mm256_broadcastsi128_si256(PickMask(pick, 1));
    const __m256i m2 = _mm256_broadcastsi128_si256(PickMask(pick, 2));
    int i = 0;
    for (; pixels - i >= 32; i += 32) {
        const uint8_t* s = src + 3 * i;
        if (next) {
            ZARN_PREFETCH(next + 3 * i);
            ZARN_PREFETCH(next + 3 * i + 64);
        }
        // The low lane picks pixels 0 to 15, the high one 16 to 31.
        const __m256i out =
            _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(LoadLanes(s), m0),
                                            _mm256_shuffle_epi8(LoadLanes(s + 16), m1)),
                            _mm256_shuffle_epi8(LoadLanes(s + 32), m2));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), out);
    }
    PickRowSsse3(src + 3 * i, dst + i, pixels - i, pick, nullptr);
}

__attribute__((target("avx2"))) void SwapRowPairAvx2(uint8_t* a, uint8_t* b, int pixels,
                                                     const uint8_t* next) {
    int i = 0;
    for (; pixels - i >= 32; i += 32) {
        uint8_t* pa = a + 3 * i;
        uint8_t* pb = b + 3 * i;
        if (next) {
            ZARN_PREFETCH(next + 3 * i);
            ZARN_PREFETCH(next + 3 * i + 64);
        }
        const Swapped256 fromA = Swap32(LoadLanes(pa), LoadLanes(pa + 16), LoadLanes(pa + 32));
        const Swapped256 fromB = Swap32(LoadLanes(pb), LoadLanes(pb + 16), LoadLanes(pb + 32));
        StoreSwapped(pa, fromB);
        StoreSwapped(pb, fromA);
    }
    SwapRowPairSsse3(a + 3 * i, b + 3 * i, pixels - i, nullptr);
}

enum class Kernels { Plain, Ssse3, Avx2 };
const Kernels g_kernels = __builtin_cpu_supports("avx2")    ? Kernels::Avx2
                          : __builtin_cpu_supports("ssse3") ? Kernels::Ssse3
                                                            : Kernels::Plain;

void SwapRow(const uint8_t* src, uint8_t* dst, int pixels, const uint8_t* next) {
    switch (g_kernels) {
        case Kernels::Avx2:
            return SwapRowAvx2(src, dst, pixels, next);
        case Kernels::Ssse3:
            return SwapRowSsse3(src, dst, pixels, next);
        default:
            return SwapRowPlain(src, dst, pixels);
    }
}

void PickRow(const uint8_t* src, uint8_t* dst, int pixels, int pick, const uint8_t* next) {
    switch (g_kernels) {
        case Kernels::Avx2:
            return PickRowAvx2(src, dst, pixels, pick, next);
        case Kernels::Ssse3:
            return PickRowSsse3(src, dst, pixels, pick, next);
        default:
            return PickRowPlain(src, dst, pixels, pick);
    }
}

void SwapRowPair(uint8_t* a, uint8_t* b, int pixels, const uint8_t* next) {
    switch (g_kernels) {
        case Kernels::Avx2:
            return SwapRowPairAvx2(a, b, pixels, next);
        case Kernels::Ssse3:
            return SwapRowPairSsse3(a, b, pixels, next);
        default:
            return SwapRowPairPlain(a, b, pixels);
    }
}

#else

void SwapRow(const uint8_t* src, uint8_t* dst, int pixels, const uint8_t*) {
    SwapRowPlain(src, dst, pixels);
}
void PickRow(const uint8_t* src, uint8_t* dst, int pixels, int pick, const uint8_t*) {
    PickRowPlain(src, dst, pixels, pick);
}
void SwapRowPair(uint8_t* a, uint8_t* b, int pixels, const uint8_t*) {
    SwapRowPairPlain(a, b, pixels);
}

#endif

// Channel 1 is red (byte 2), 2 green (byte 1); 3 and above the grey mean.
void ChannelRow(const uint8_t* src, uint8_t* dst, int pixels, int channel, const uint8_t* next) {
    if (channel >= 3)
        GreyRow(src, dst, pixels);
    else
        PickRow(src, dst, pixels, 3 - channel, next);
}

size_t RowBytes(int width) { return static_cast<size_t>(width) * 3; }

}  // namespace

void CAviControl::FlipSwapCopy(const uint8_t* src, uint8_t* dst, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const size_t row = RowBytes(width);
    for (int i = 0; i < height; ++i) {
        const uint8_t* from = src + static_cast<size_t>(height - 1 - i) * row;
        SwapRow(from, dst + i * row, width, i + 1 < height ? from - row : nullptr);
    }
}

// Top and bottom rows are exchanged pair by pair in one pass, meeting in
// the middle row, which is swapped in place.
void CAviControl::FlipSwapInPlace(uint8_t* buffer, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const size_t row = RowBytes(width);
    for (int top = 0, bottom = height - 1; top <= bottom; ++top, --bottom) {
        uint8_t* upper = buffer + static_cast<size_t>(top) * row;
        uint8_t* lower = buffer + static_cast<size_t>(bottom) * row;
        SwapRowPair(upper, lower, width, top < bottom ? lower - row : nullptr);
    }
}

void CAviControl::ExtractChannel(const uint8_t* src, uint8_t* dst, int width, int height,
                                 int channel) {
    if (channel <= 0 || width <= 0 || height <= 0) return;
    const size_t row = RowBytes(width);
    for (int i = 0; i < height; ++i) {
        const uint8_t* from = src + static_cast<size_t>(height - 1 - i) * row;
        ChannelRow(from, dst + static_cast<size_t>(i) * width, width, channel,
                   i + 1 < height ? from - row : nullptr);
    }
}

void CAviControl::ExtractChannelRegion(const uint8_t* src, uint8_t* dst, int width, int height,
                                       int x0, int y0, int x1, int y1, int channel) {
    if (channel <= 0 || x1 <= x0 || y1 <= y0) return;
    const size_t row = RowBytes(width);
    const int columns = x1 - x0;
    for (int y = y0; y < y1; ++y) {
        const uint8_t* from =
            src + static_cast<size_t>(height - 1 - y) * row + static_cast<size_t>(x0) * 3;
        ChannelRow(from, dst, columns, channel, y + 1 < y1 ? from - row : nullptr);
        dst += columns;
    }
}
