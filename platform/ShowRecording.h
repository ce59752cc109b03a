#pragma once
// A video file of a show: the pictures the show window showed, each from the
// time it was shown, with the show's sound as the sound track.
//
// Callers rely on:
// - Open(path, w, h, period, rate, &error) creates the file for pictures of
//   w x h that last about period milliseconds each, and sound at rate
//   frames per second; false with one line in error when it cannot.
// - AddPicture(pixels, stride, ms) adds a top-down picture of 0xFFRRGGBB
//   pixels, rows stride pixels apart, shown from ms milliseconds after the
//   show's start; ms grows from call to call. The pixels are read before the
//   call returns.
// - AddSound(samples, frames) adds the next frames of interleaved 16-bit
//   stereo sound, the first of them at the show's start.
// - Finish(&error) writes out what is held and completes the file; false
//   with one line in error when the file is not complete. A recording
//   destroyed without a successful Finish leaves an incomplete file, for
//   the caller to remove.
// Add and Finish after a failure do nothing and fail again.

#include <cstdint>
#include <string>

class IShowRecording {
public:
    virtual ~IShowRecording() = default;
    virtual bool Open(const std::string& path, int nWidth, int nHeight, unsigned nPeriodMs,
                      int nSampleRate, std::string& error) = 0;
    virtual bool AddPicture(const uint32_t* pPixels, int nStride, int64_t ms) = 0;
    virtual bool AddSound(const int16_t* pSamples, int nFrames) = 0;
    virtual bool Finish(std::string& error) = 0;
};
