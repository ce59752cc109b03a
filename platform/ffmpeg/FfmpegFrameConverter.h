#pragma once
// Converts decoded pictures to the reader's output: 24-bit blue-green-red,
// bottom row first, rows of exactly width x 3 bytes, at the stream's frame
// size whatever size a picture arrives in. Used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/ffmpeg/FfmpegPtr.h"

class FfmpegFrameConverter {
public:
    // Bytes past the last row that Convert may write: the converter's vector
    // stores are the only writers there, and no reader is told about them.
    static constexpr size_t OUTPUT_SLACK = 64;

    FfmpegFrameConverter(int width, int height) : m_nWidth(width), m_nHeight(height) {}

    // Writes the picture to `pixels` (width x 3 x height bytes plus
    // OUTPUT_SLACK); false when it cannot be converted.
    bool Convert(const AVFrame* frame, uint8_t* pixels);

private:
    const int m_nWidth;
    const int m_nHeight;
    ffmpeg::SwsPtr m_sws;
    int m_swsWidth = 0, m_swsHeight = 0, m_swsFormat = -1;
    std::vector<uint8_t> m_scratch;  // converter output, rows aligned for its vector code
    int m_scratchStride = 0;
};
