// Grid ranking of the detection window.

#include <cstdint>
#include <utility>
#include <vector>

#include "detect/ShowWaveDlg.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The sum of n bytes. Sixteen at a time where the processor has SSE2: the
// sums of absolute differences from zero are the bytes' sums.
uint32_t SumBytes(const uint8_t* p, int n) {
    uint32_t sum = 0;
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    __m128i acc = zero;
    const auto* v = reinterpret_cast<const __m128i*>(p);
    for (; x + 64 <= n; x += 64, v += 4) {
        const __m128i a = _mm_add_epi64(_mm_sad_epu8(_mm_loadu_si128(v), zero),
                                        _mm_sad_epu8(_mm_loadu_si128(v + 1), zero));
        const __m128i b = _mm_add_epi64(_mm_sad_epu8(_mm_loadu_si128(v + 2), zero),
                                        _mm_sad_epu8(_mm_loadu_si128(v + 3), zero));
        acc = _mm_add_epi64(acc, _mm_add_epi64(a, b));
    }
    for (; x + 16 <= n; x += 16, ++v)
        acc = _mm_add_epi64(acc, _mm_sad_epu8(_mm_loadu_si128(v), zero));
    sum = static_cast<uint32_t>(_mm_cvtsi128_si32(acc)) +
          static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(acc, acc)));
#endif
    for (; x < n; ++x) sum += p[x];
    return sum;
}

}  // namespace

void CShowWaveDlg::RankCells(const uint8_t* pImage, int W, int H, int rows, int cols,
                             CellScore out[3]) {
    if (rows <= 0 || cols <= 0) {
        out[0] = out[1] = out[2] = CellScore{};
        return;
    }
    int cw = W > 0 ? W / cols : 0;
    cw -= cw % 4;
    const int ch = H > 0 ? H / rows : 0;
    const int n = rows * cols;
    const int64_t nCellPixels = static_cast<int64_t>(cw) * ch;

    // Row by row across the whole width: the image is read front to back
    // once, which a cell-by-cell walk down narrow columns is not.
    std::vector<uint32_t> sums(static_cast<size_t>(n), 0);
    for (int i = 0; i < rows; ++i) {
        for (int y = i * ch; y < i * ch + ch; ++y) {
            const uint8_t* row = pImage + static_cast<size_t>(y) * W;
            for (int j = 0; j < cols; ++j)
                sums[static_cast<size_t>(i * cols + j)] +=
                    SumBytes(row + static_cast<size_t>(j) * cw, cw);
        }
    }
    std::vector<CellScore> table(static_cast<size_t>(n), CellScore{});
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            CellScore& cell = table[static_cast<size_t>(i * cols + j)];
            cell.nRow = i;
            cell.nCol = j;
            // Cells of no pixels (image smaller than the grid) rank as level 0.
            cell.dMean = nCellPixels > 0 ? static_cast<double>(sums[size_t(i * cols + j)]) /
                                               static_cast<double>(nCellPixels)
                                         : 0.0;
        }
    }

    // This exchange sort's handling of equal means decides which cells sound;
    // a stable or other sort would pick different ones.
    for (int a = 0; a < n - 1; ++a) {
        for (int b = a + 1; b < n; ++b) {
            if (table[a].dMean < table[b].dMean) std::swap(table[a], table[b]);
        }
    }

    out[0] = table[0];
    out[1] = table[static_cast<size_t>(n / 2)];
    out[2] = table[static_cast<size_t>(n - 1)];
}
