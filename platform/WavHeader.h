#pragma once
// The 44-byte header of a plain PCM WAV file. A data size beyond what the
// header's 32-bit fields can hold is written as the largest they can.

#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t PCM_WAV_HEADER_BYTES = 44;

std::array<uint8_t, PCM_WAV_HEADER_BYTES> PcmWavHeader(uint32_t nRate, uint16_t nChannels,
                                                       uint16_t nBits, uint64_t qwDataBytes);
