#include "platform/qt/QtDibRows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define ZARN_HAVE_SSSE3_PATH 1
#endif

namespace {

constexpr QRgb OPAQUE_ALPHA = 0xFF000000u;

void BgrRowPlain(const uint8_t* src, QRgb* dst, int count) {
    for (int i = 0; i < count; ++i, src += 3) dst[i] = qRgb(src[2], src[1], src[0]);
}

void GreyRowPlain(const uint8_t* src, QRgb* dst, int count) {
    for (int i = 0; i < count; ++i) dst[i] = OPAQUE_ALPHA | src[i] * 0x010101u;
}

#ifdef ZARN_HAVE_SSSE3_PATH

// The bytes of a 24-bit pixel are already those of a 32-bit one in memory
// order (blue, green, red); each group of three only needs an alpha byte.
__attribute__((target("ssse3"))) inline void StorePixels(QRgb* d, __m128i bgr) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(OPAQUE_ALPHA));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                     _mm_or_si128(_mm_shuffle_epi8(bgr, spread), alpha));
}

__attribute__((target("ssse3"))) void BgrRowSsse3(const uint8_t* src, QRgb* dst, int count) {
    int i = 0;
    // Sixteen pixels from three loads: the four groups of four are lined up
    // at byte 0 by shifting across the load boundaries.
    for (; count - i >= 16; i += 16) {
        const uint8_t* s = src + 3 * i;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        StorePixels(dst + i, a);
        StorePixels(dst + i + 4, _mm_alignr_epi8(b, a, 12));
        StorePixels(dst + i + 8, _mm_alignr_epi8(c, b, 8));
        StorePixels(dst + i + 12, _mm_srli_si128(c, 4));
    }
    // Four at a time while a 16-byte load stays inside the row.
    for (; count - i >= 6; i += 4)
        StorePixels(dst + i, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * i)));
    BgrRowPlain(src + 3 * i, dst + i, count - i);
}

__attribute__((target("ssse3"))) void GreyRowSsse3(const uint8_t* src, QRgb* dst, int count) {
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(OPAQUE_ALPHA));
    const __m128i m0 = _mm_setr_epi8(0, 0, 0, -1, 1, 1, 1, -1, 2, 2, 2, -1, 3, 3, 3, -1);
    const __m128i m1 = _mm_setr_epi8(4, 4, 4, -1, 5, 5, 5, -1, 6, 6, 6, -1, 7, 7, 7, -1);
    const __m128i m2 = _mm_setr_epi8(8, 8, 8, -1, 9, 9, 9, -1, 10, 10, 10, -1, 11, 11, 11, -1);
    const __m128i m3 =
        _mm_setr_epi8(12, 12, 12, -1, 13, 13, 13, -1, 14, 14, 14, -1, 15, 15, 15, -1);
    int i = 0;
    for (; count - i >= 16; i += 16) {
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        auto* d = reinterpret_cast<__m128i*>(dst + i);
        _mm_storeu_si128(d, _mm_or_si128(_mm_shuffle_epi8(g, m0), alpha));
        _mm_storeu_si128(d + 1, _mm_or_si128(_mm_shuffle_epi8(g, m1), alpha));
        _mm_storeu_si128(d + 2, _mm_or_si128(_mm_shuffle_epi8(g, m2), alpha));
        _mm_storeu_si128(d + 3, _mm_or_si128(_mm_shuffle_epi8(g, m3), alpha));
    }
    GreyRowPlain(src + i, dst + i, count - i);
}

const bool g_bSsse3 = __builtin_cpu_supports("ssse3");

#endif

}  // namespace

void BgrRowToRgb32(const uint8_t* src, QRgb* dst, int count) {
#ifdef ZARN_HAVE_SSSE3_PATH
    if (g_bSsse3) return BgrRowSsse3(src, dst, count);
#endif
    BgrRowPlain(src, dst, count);
}

void IndexedRowToRgb32(const uint8_t* src, QRgb* dst, int count, const QRgb* table) {
    for (int i = 0; i < count; ++i) dst[i] = table[src[i]];
}

bool IsGreyRamp(const QRgb* table) {
    for (unsigned i = 0; i < 256; ++i)
        if (table[i] != (OPAQUE_ALPHA | i * 0x010101u)) return false;
    return true;
}

void GreyRowToRgb32(const uint8_t* src, QRgb* dst, int count) {
#ifdef ZARN_HAVE_SSSE3_PATH
    if (g_bSsse3) return GreyRowSsse3(src, dst, count);
#endif
    GreyRowPlain(src, dst, count);
}
