#pragma once
// A show recording (platform/ShowRecording.h) through libavformat and
// libavcodec: Matroska with H.264 from libx264 (MPEG-4 part 2 where an
// FFmpeg build lacks it) and the sound as 16-bit PCM, so the track is the
// show's mix sample for sample.

#include <memory>
#include <string>

#include "platform/ShowRecording.h"

class FfmpegShowRecording final : public IShowRecording {
public:
    FfmpegShowRecording();
    ~FfmpegShowRecording() override;

    bool Open(const std::string& path, int nWidth, int nHeight, unsigned nPeriodMs,
              int nSampleRate, std::string& error) override;
    bool AddPicture(const uint32_t* pPixels, int nStride, int64_t ms) override;
    bool AddSound(const int16_t* pSamples, int nFrames) override;
    bool Finish(std::string& error) override;

    // The video encoder that Open picked, for the user to be told.
    const char* EncoderName() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
