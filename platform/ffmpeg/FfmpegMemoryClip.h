#pragma once
// A clip's bytes held in memory: for fuzzing and tests, so that no file is
// written per input. Never reached from a path a user picked.

#include <cstdint>
#include <vector>

#include "platform/ffmpeg/FfmpegClipBytes.h"

class FfmpegMemoryClip : public FfmpegClipBytes {
public:
    explicit FfmpegMemoryClip(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    int64_t Size() const override { return static_cast<int64_t>(m_bytes.size()); }
    int Read(int64_t pos, uint8_t* dst, int size) const override;

private:
    std::vector<uint8_t> m_bytes;
};
