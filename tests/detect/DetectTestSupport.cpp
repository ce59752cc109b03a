#include "tests/detect/DetectTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
    v[at] = x & 0xFF;
    v[at + 1] = x >> 8;
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = (x >> (8 * i)) & 0xFF;
}

void WriteWave(const std::string& path, uint32_t rate) {
    const uint32_t nData = 4000;
    std::vector<uint8_t> file(44 + nData, 0x80);
    std::memcpy(&file[0], "RIFF", 4);
    Put32(file, 4, 36 + nData);
    std::memcpy(&file[8], "WAVEfmt ", 8);
    Put32(file, 16, 16);
    Put16(file, 20, 1);  // PCM
    Put16(file, 22, 1);  // mono
    Put32(file, 24, rate);
    Put32(file, 28, rate);  // 8-bit: one byte per sample
    Put16(file, 32, 1);
    Put16(file, 34, 8);
    std::memcpy(&file[36], "data", 4);
    Put32(file, 40, nData);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), f), file.size());
    std::fclose(f);
}

}  // namespace

void WriteTestWaves(TestLauncher& launcher, const std::string& folder, int count) {
    launcher.strWaveFolder = folder;
    launcher.waveNames.clear();
    for (int n = 0; n < count; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "w%02d", n);
        WriteWave(folder + name + ".wav", TestWaveRate(n));
        launcher.waveNames.push_back(name);
    }
}

void PaintCells(uint8_t* rgb, int width, int height, const CellLevelFn& level) {
    int cw = width / 7;
    cw -= cw % 4;
    const int ch = height / 3;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int row = ch ? std::min(y / ch, 2) : 0;
            const int col = cw ? std::min(x / cw, 6) : 0;
            const uint8_t red = level(row, col);
            uint8_t* p = rgb + (static_cast<size_t>(y) * width + x) * 3;
            p[0] = red;
            p[1] = static_cast<uint8_t>(255 - red);
            p[2] = static_cast<uint8_t>(255 - red);
        }
    }
}

std::string WriteCellClip(const std::string& name, ClipOptions options, const CellLevelFn& level) {
    const std::string path = TestDataPath(name);
    std::string error;
    const bool ok = WriteClip(
        path, options, [&](int, uint8_t* rgb, int w, int h) { PaintCells(rgb, w, h, level); },
        &error);
    EXPECT_TRUE(ok) << error;
    return path;
}

std::vector<int> ExpectedCells(const CellLevelFn& level) {
    std::vector<std::pair<int, int>> cells;  // (level, number)
    for (int n = 0; n < 21; ++n) cells.emplace_back(level(n / 7, n % 7), n);
    std::sort(cells.begin(), cells.end(), [](auto a, auto b) { return a.first > b.first; });
    return {cells[0].second, cells[10].second, cells[20].second};
}

uint8_t PermutedLevel(int row, int col) {
    const int n = row * 7 + col;
    return static_cast<uint8_t>(((n * 8 + 5) % 21) * 10 + 20);
}
