#pragma once
// What a replay hands the detection window in place of the launcher: a clip
// and the sounds of a wave list, in clip mode.

#include <string>
#include <vector>

#include "detect/DetectLauncher.h"

class CReplayLauncher final : public IDetectLauncher {
public:
    std::string strAviPath;
    std::string strWaveFolder;           // ends in a path separator, or is empty
    std::vector<std::string> waveNames;  // in the order the launcher lists them

    int GetCaptureDriver() const override { return -1; }
    int GetUseCamera() const override { return 0; }
    int GetWaveCount() const override { return static_cast<int>(waveNames.size()); }
    std::string GetWaveName(int n) const override { return waveNames.at(static_cast<size_t>(n)); }
    std::string GetWaveFolder() const override { return strWaveFolder; }
    std::string GetAviPath() const override { return strAviPath; }
};
