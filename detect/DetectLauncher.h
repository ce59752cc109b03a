#pragma once
// What the detection window takes from the launcher that opens it, read once
// while the window initialises. The launcher implements this; tests fill it
// by hand.

#include <string>

// How camera mode ranks the live picture: not at all, by mean red level as
// clip mode does, or by how much the red level changed since the last tick.
constexpr int CAMERA_DETECT_OFF = 0;
constexpr int CAMERA_DETECT_LEVEL = 1;
constexpr int CAMERA_DETECT_MOTION = 2;

class IDetectLauncher {
public:
    virtual ~IDetectLauncher() = default;

    // Driver index of the selected capture entry; -1 when nothing is selected.
    virtual int GetCaptureDriver() const = 0;
    // 1 for camera mode, 0 for clip mode.
    virtual int GetUseCamera() const = 0;
    virtual int GetWaveCount() const = 0;
    // Text of wave list item n, 0 <= n < GetWaveCount().
    virtual std::string GetWaveName(int n) const = 0;
    // Folder of the wave list, ending in a path separator.
    virtual std::string GetWaveFolder() const = 0;
    virtual std::string GetAviPath() const = 0;
    // 1 when the clip starts again from its first frame once its segment has
    // run out, 0 when the last picture stays.
    virtual int GetRepeat() const { return 0; }
    // One of CAMERA_DETECT_*; read in camera mode only.
    virtual int GetCameraDetect() const { return CAMERA_DETECT_OFF; }
};
