#include "tests/detect/DetectTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/sound/WavTestFiles.h"

TestLauncher AddFakeClip(FakeVideoFiles& files, const std::string& path, int width, int height,
                         uint32_t rate, uint32_t scale, uint32_t frames) {
    FakeVideoClip clip;
    clip.info = VideoFileInfo{0, uint32_t(width), uint32_t(height), rate, scale};
    clip.streams.push_back(FakeVideoStream{streamtypeVIDEO, frames, width, height, true, {}});
    files.AddClip(path, clip);
    TestLauncher launcher;
    launcher.strAviPath = path;
    return launcher;
}

void WriteTestWaves(TestLauncher& launcher, const std::string& folder, int count) {
    launcher.strWaveFolder = folder;
    launcher.waveNames.clear();
    for (int n = 0; n < count; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "w%02d", n);
        std::vector<uint8_t> file = wavtest::Header(wavtest::Pcm(1, TestWaveRate(n), 8), 4000);
        file.resize(44 + 4000, 0x80);
        FILE* f = std::fopen((folder + name + ".wav").c_str(), "wb");
        ASSERT_NE(f, nullptr) << folder << name;
        ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), f), file.size());
        std::fclose(f);
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

TestLauncher PermutedCellClip(const std::string& name) {
    ClipOptions options;
    options.width = 224;
    options.height = 120;
    options.frames = 30;
    TestLauncher launcher;
    launcher.strAviPath = WriteCellClip(name, options, PermutedLevel);
    return launcher;
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
