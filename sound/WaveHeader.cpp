#include "sound/WaveHeader.h"

#include <cstring>

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

WaveHeader Refused(WaveRefusal refusal) {
    WaveHeader result;
    result.refusal = refusal;
    return result;
}

}  // namespace

WaveHeader ReadWaveHeader(std::span<const uint8_t> header, uint64_t nFileBytes) {
    if (header.size() < WAVE_HEADER_BYTES) return Refused(WaveRefusal::SHORT_HEADER);
    const uint8_t* p = header.data();
    if (std::memcmp(p, "RIFF", 4) != 0) return Refused(WaveRefusal::NOT_RIFF);
    if (std::memcmp(p + 8, "WAVEfmt ", 8) != 0) return Refused(WaveRefusal::NOT_WAVE_FMT);
    if (Le32(p + 16) != 16) return Refused(WaveRefusal::FORMAT_CHUNK_SIZE);
    if (Le16(p + 20) != WAVE_FORMAT_PCM) return Refused(WaveRefusal::FORMAT_TAG);

    // Without a "data" tag at 36 the RIFF size + 16 counts: everything from
    // byte 44 on, chunk headers included. The sum wraps at 32 bits.
    const uint32_t dwDataLength =
        std::memcmp(p + 36, "data", 4) == 0 ? Le32(p + 40) : Le32(p + 4) + 16;
    if (dwDataLength > nFileBytes + WAVE_MAX_EXCESS_BYTES) return Refused(WaveRefusal::BEYOND_FILE);

    WaveHeader result;
    result.dwDataLength = dwDataLength;
    result.dwDataOffset = WAVE_HEADER_BYTES;
    result.wfx.wFormatTag = WAVE_FORMAT_PCM;
    result.wfx.nChannels = Le16(p + 22);
    result.wfx.nSamplesPerSec = Le32(p + 24);
    result.wfx.nAvgBytesPerSec = Le32(p + 28);
    result.wfx.nBlockAlign = Le16(p + 32);
    result.wfx.wBitsPerSample = Le16(p + 34);
    result.wfx.cbSize = 0;
    return result;
}
