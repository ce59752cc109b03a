// Grid ranking: which three cells come back, and what their means are.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "detect/ShowWaveDlg.h"

namespace {

constexpr int ROWS = 3;
constexpr int COLS = 7;
// 56 x 6 gives cells of exactly 8 x 2 pixels with nothing left over.
constexpr int W = 56;
constexpr int H = 6;

// An image whose cell (i, j) is filled with level(i, j).
std::vector<uint8_t> GridImage(const std::function<uint8_t(int, int)>& level) {
    std::vector<uint8_t> image(W * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) image[y * W + x] = level(y / (H / ROWS), x / (W / COLS));
    return image;
}

struct Cell {
    int row, col;
};

struct RankCase {
    const char* name;
    std::function<uint8_t(int, int)> level;
    Cell expected[3];
};

void PrintTo(const RankCase& c, std::ostream* os) { *os << c.name; }

class RankCellsCases : public ::testing::TestWithParam<RankCase> {};

TEST_P(RankCellsCases, PicksFirstMiddleAndLastOfTheExchangeSort) {
    const RankCase& c = GetParam();
    const std::vector<uint8_t> image = GridImage(c.level);
    CellScore out[3] = {{-1, -1, -1.0}, {-1, -1, -1.0}, {-1, -1, -1.0}};
    CShowWaveDlg::RankCells(image.data(), W, H, ROWS, COLS, out);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out[i].nRow, c.expected[i].row) << "result " << i;
        EXPECT_EQ(out[i].nCol, c.expected[i].col) << "result " << i;
        EXPECT_EQ(out[i].dMean, c.level(out[i].nRow, out[i].nCol)) << "result " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, RankCellsCases,
    ::testing::Values(
        RankCase{"OneLevel", [](int, int) { return uint8_t{77}; }, {{0, 0}, {1, 3}, {2, 6}}},
        RankCase{"OneBrightCell",
                 [](int r, int c) { return uint8_t(r == 2 && c == 5 ? 200 : 0); },
                 {{2, 5}, {1, 3}, {2, 6}}},
        RankCase{"OneDarkCell",
                 [](int r, int c) { return uint8_t(r == 0 && c == 0 ? 0 : 100); },
                 {{0, 1}, {1, 4}, {0, 0}}},
        RankCase{"GrowingWithCellNumber",
                 [](int r, int c) { return uint8_t(r * 7 + c); },
                 {{2, 6}, {1, 3}, {0, 0}}},
        RankCase{
            "TwoEqualBrightCells",
            [](int r, int c) { return uint8_t((r == 1 && c == 1) || (r == 2 && c == 2) ? 50 : 0); },
            {{1, 1}, {1, 3}, {2, 6}}}),
    [](const ::testing::TestParamInfo<RankCase>& info) { return std::string(info.param.name); });

TEST(RankCells, MeanIsTheExactFractionOfTheCellsPixels) {
    // Cell (1, 2): one pixel row at 255, the other at 0, and one extra pixel
    // of 3: (8 * 255 + 3) / 16.
    std::vector<uint8_t> image(W * H, 0);
    for (int x = 16; x < 24; ++x) image[2 * W + x] = 255;
    image[3 * W + 16] = 3;
    CellScore out[3] = {};
    CShowWaveDlg::RankCells(image.data(), W, H, ROWS, COLS, out);
    EXPECT_EQ(out[0].nRow, 1);
    EXPECT_EQ(out[0].nCol, 2);
    EXPECT_DOUBLE_EQ(out[0].dMean, (8.0 * 255.0 + 3.0) / 16.0);
}

TEST(RankCells, ColumnsPastTheLastWholeCellOfA320x240ImageDoNotCount) {
    constexpr int w = 320;
    constexpr int h = 240;
    std::vector<uint8_t> image(w * h, 10);
    CellScore before[3] = {};
    CShowWaveDlg::RankCells(image.data(), w, h, ROWS, COLS, before);

    for (int y = 0; y < h; ++y)
        for (int x = 308; x < 320; ++x) image[y * w + x] = 255;
    CellScore after[3] = {};
    CShowWaveDlg::RankCells(image.data(), w, h, ROWS, COLS, after);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(after[i].nRow, before[i].nRow);
        EXPECT_EQ(after[i].nCol, before[i].nCol);
        EXPECT_EQ(after[i].dMean, 10.0);
    }

    // Column 307 and row 239 are the last of cell (2, 6), 44 x 80 pixels.
    image[239 * w + 307] = 10 + 176;
    CShowWaveDlg::RankCells(image.data(), w, h, ROWS, COLS, after);
    EXPECT_EQ(after[0].nRow, 2);
    EXPECT_EQ(after[0].nCol, 6);
    EXPECT_DOUBLE_EQ(after[0].dMean, 10.0 + 176.0 / (44.0 * 80.0));
}

TEST(RankCells, CellsOfNoPixelsRankAsLevelZero) {
    struct Size {
        int w, h;
    } sizes[] = {{27, 30}, {56, 2}, {3, 1}, {0, 0}};
    for (const Size& s : sizes) {
        std::vector<uint8_t> image(static_cast<size_t>(s.w * s.h) + 1, 200);
        CellScore out[3] = {{9, 9, 1.0}, {9, 9, 1.0}, {9, 9, 1.0}};
        CShowWaveDlg::RankCells(image.data(), s.w, s.h, ROWS, COLS, out);
        for (const CellScore& cell : out) {
            EXPECT_FALSE(std::isnan(cell.dMean)) << s.w << " x " << s.h;
            EXPECT_EQ(cell.dMean, 0.0) << s.w << " x " << s.h;
        }
        // All means equal: nothing is exchanged.
        EXPECT_EQ(out[0].nRow * COLS + out[0].nCol, 0);
        EXPECT_EQ(out[1].nRow * COLS + out[1].nCol, 10);
        EXPECT_EQ(out[2].nRow * COLS + out[2].nCol, 20);
    }
}

// Cell widths through every way a row's sum can split into wide blocks and
// leftover bytes, with columns and rows past the last whole cell: each
// chosen mean is its cell's exact sum over its pixels and, where the 21
// means differ, the three are the largest, the middle and the smallest.
TEST(RankCells, MeansAreExactForEveryCellWidth) {
    std::mt19937 rng(7);
    int ordered = 0;
    for (int cw = 4; cw <= 300; cw += 4) {
        const int w = COLS * cw + cw % 7;
        const int h = ROWS * (1 + cw % 5) + cw % 3;
        const int ch = h / ROWS;
        std::vector<uint8_t> image(static_cast<size_t>(w) * h);
        // Bright images too: all-255 rows are where a narrow sum would overflow.
        for (uint8_t& p : image) p = cw % 3 ? static_cast<uint8_t>(rng()) : 255 - (rng() & 1);
        auto mean = [&](int row, int col) {
            uint64_t sum = 0;
            for (int y = row * ch; y < row * ch + ch; ++y)
                for (int x = col * cw; x < col * cw + cw; ++x) sum += image[size_t(y) * w + x];
            return static_cast<double>(sum) / (static_cast<double>(cw) * ch);
        };
        std::vector<double> sorted;
        for (int r = 0; r < ROWS; ++r)
            for (int c = 0; c < COLS; ++c) sorted.push_back(mean(r, c));
        std::sort(sorted.begin(), sorted.end(), std::greater<>());
        const bool distinct = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
        ordered += distinct;

        CellScore out[3] = {};
        CShowWaveDlg::RankCells(image.data(), w, h, ROWS, COLS, out);
        const double expected[3] = {sorted[0], sorted[sorted.size() / 2], sorted.back()};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(out[i].dMean, mean(out[i].nRow, out[i].nCol)) << "cell width " << cw;
            if (distinct) {
                EXPECT_EQ(out[i].dMean, expected[i]) << "cell width " << cw << ", result " << i;
            }
        }
    }
    // Ties between random means are rare: the order is not left unchecked.
    EXPECT_GE(ordered, 40);
}

}  // namespace
