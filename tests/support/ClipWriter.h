#pragma once
// Writes small AVI clips for tests and benchmarks through the FFmpeg libraries.
//
//   ClipOptions o;
//   o.codec = ClipCodec::Mjpeg; o.width = 320; o.height = 240; o.frames = 100;
//   o.rateNum = 30000; o.rateDen = 1001;
//   WriteClip(path, o, [](int frame, uint8_t* rgb, int w, int h) { ... });
//
// The paint callback fills one top-down RGB24 picture (w x h x 3 bytes, rows
// packed) per frame; it is called again with the other size for a second
// video stream. Returns false, with a reason in *error, when the clip cannot
// be written.

#include <cstdint>
#include <functional>
#include <string>

enum class ClipCodec {
    RawBgr24,  // uncompressed 24-bit, exact round trip
    Mjpeg,
    Mpeg4,
    Mpeg1,
    H264,  // through libx264; WriteClip fails where it is missing
};

struct ClipOptions {
    ClipCodec codec = ClipCodec::RawBgr24;
    int width = 64;
    int height = 48;
    int rateNum = 25;  // frames per second = rateNum / rateDen
    int rateDen = 1;
    int frames = 25;
    int gop = 12;        // keyframe interval (MPEG-1, MPEG-4)
    int maxBFrames = 0;  // MPEG-1, MPEG-4 and H.264
    int quality = 3;     // quantiser: 2 best .. 31 worst

    bool audio = false;      // adds a PCM audio stream after the video
    bool audioOnly = false;  // the clip has only the audio stream (frames sets its duration)
    int secondWidth = 0;     // non-zero: a second video stream of this size after the first
    int secondHeight = 0;
    int dropEvery = 0;      // non-zero: every dropEvery-th frame is dropped, as capture tools do
    uint32_t codecTag = 0;  // non-zero: written as the video streams' FOURCC instead of the codec's
    const char* container = "avi";  // libavformat's name of the file format written
};

using PaintFn = std::function<void(int frame, uint8_t* rgb, int width, int height)>;

bool WriteClip(const std::string& path, const ClipOptions& options, const PaintFn& paint,
               std::string* error = nullptr);

// Where tests put generated files: $ZARN_TEST_DATA, else the temp folder.
std::string TestDataPath(const std::string& name);
