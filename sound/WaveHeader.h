#pragma once
// The rules of the fixed 44-byte WAV header, over bytes: what a header and
// the size of its file give, or why they are refused. No file is touched, so
// the rules hold, and are fuzzed, without one.
//
// Callers rely on: an accepted header came whole (44 bytes) and is RIFF,
// "WAVEfmt ", a 16-byte format chunk and format tag 1; its data starts at
// byte 44 and its length is the "data" chunk's size, or the RIFF size + 16
// where no "data" tag stands at 36, never beyond the file size +
// WAVE_MAX_EXCESS_BYTES; wfx holds the header's fields with tag 1 and
// cbSize 0. A refused header leaves every other field zero.

#include <cstdint>
#include <span>

#include "platform/WaveOut.h"

constexpr uint32_t WAVE_HEADER_BYTES = 44;
// A header may promise more data than its file holds (the tail stays zero),
// but not so much more that a damaged file costs gigabytes.
constexpr uint64_t WAVE_MAX_EXCESS_BYTES = 16u << 20;

// In the order the rules are tried.
enum class WaveRefusal {
    NONE,
    SHORT_HEADER,       // fewer than 44 bytes
    NOT_RIFF,           // bytes 0 to 3
    NOT_WAVE_FMT,       // bytes 8 to 15
    FORMAT_CHUNK_SIZE,  // not 16
    FORMAT_TAG,         // not 1 (PCM)
    BEYOND_FILE,        // longer than the file by more than WAVE_MAX_EXCESS_BYTES
};

struct WaveHeader {
    WaveRefusal refusal = WaveRefusal::NONE;
    WAVEFORMATEX wfx{};
    uint32_t dwDataLength = 0;
    uint32_t dwDataOffset = 0;
};

// header: the file's first bytes as read (only the first 44 count);
// nFileBytes: the file's whole size, 0 where it is not known.
WaveHeader ReadWaveHeader(std::span<const uint8_t> header, uint64_t nFileBytes);
