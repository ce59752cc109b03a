#pragma once
// Helpers of the detection window tests: the launcher's values filled by hand,
// WAV files told apart by their sample rate, and clips whose cells have known
// red levels.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "detect/DetectLauncher.h"
#include "tests/fakes/FakeVideoFiles.h"
#include "tests/support/ClipWriter.h"

struct TestLauncher final : IDetectLauncher {
    int nCaptureDriver = -1;
    int bUseCamera = 0;
    int bRepeat = 0;
    int nCameraDetect = CAMERA_DETECT_OFF;
    std::vector<std::string> waveNames;
    std::string strWaveFolder;
    std::string strAviPath;

    int GetCaptureDriver() const override { return nCaptureDriver; }
    int GetUseCamera() const override { return bUseCamera; }
    int GetWaveCount() const override { return static_cast<int>(waveNames.size()); }
    std::string GetWaveName(int n) const override { return waveNames.at(static_cast<size_t>(n)); }
    std::string GetWaveFolder() const override { return strWaveFolder; }
    std::string GetAviPath() const override { return strAviPath; }
    int GetRepeat() const override { return bRepeat; }
    int GetCameraDetect() const override { return nCameraDetect; }
};

// Adds a clip of one decodable video stream to the fake library; a launcher
// that plays it.
TestLauncher AddFakeClip(FakeVideoFiles& files, const std::string& path, int width, int height,
                         uint32_t rate, uint32_t scale, uint32_t frames);

// Sample rate of test wave n: a stream's rate tells which clip it plays.
constexpr uint32_t TestWaveRate(int n) { return 8000 + 1000 * static_cast<uint32_t>(n); }

// Writes waves "w00" ... into folder (ending in '/') and lists count of them.
void WriteTestWaves(TestLauncher& launcher, const std::string& folder, int count);

// Red level of each grid cell (row, col); green and blue are 255 - red so a
// copy of the wrong channel ranks the other way round.
using CellLevelFn = std::function<uint8_t(int row, int col)>;
void PaintCells(uint8_t* rgb, int width, int height, const CellLevelFn& level);

// Writes a raw clip painted by PaintCells on every frame; fails the test when
// it cannot.
std::string WriteCellClip(const std::string& name, ClipOptions options, const CellLevelFn& level);

// Distinct red levels, a permutation of 20, 30 ... 220 over the cells: top
// cell 15 (2, 1), middle 19 (2, 5), bottom 2 (0, 2), none of them adjacent.
uint8_t PermutedLevel(int row, int col);

// A launcher playing a written 224 x 120 clip of 30 frames painted with
// PermutedLevel: cells of 32 x 40.
TestLauncher PermutedCellClip(const std::string& name);

// Cell number (row * 7 + col) of the top, middle and bottom of distinct levels.
std::vector<int> ExpectedCells(const CellLevelFn& level);
