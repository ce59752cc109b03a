// Grid ranking of the detection window.

#include <cstdint>
#include <utility>
#include <vector>

#include "detect/ShowWaveDlg.h"

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

    std::vector<CellScore> table(static_cast<size_t>(n), CellScore{});
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            uint32_t sum = 0;
            for (int y = i * ch; y < i * ch + ch; ++y) {
                const uint8_t* p =
                    pImage + static_cast<size_t>(y) * W + static_cast<size_t>(j) * cw;
                for (int x = 0; x < cw; ++x) sum += p[x];
            }
            CellScore& cell = table[static_cast<size_t>(i * cols + j)];
            cell.nRow = i;
            cell.nCol = j;
            // Cells of no pixels (image smaller than the grid) rank as level 0.
            cell.dMean =
                nCellPixels > 0 ? static_cast<double>(sum) / static_cast<double>(nCellPixels) : 0.0;
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
