// libFuzzer entry: any bytes as a WAV file, its header read from memory as
// CSoundBank::AddWave reads it (the first 44 bytes and the file's size).
// Besides the sanitizers' own checks, an accepted header keeps the promises
// the loader allocates by: a whole header, data from byte 44, a length
// within the file size + 16 MiB, the format the output is handed.
#include <algorithm>

#include "sound/WaveHeader.h"
#include "tests/support/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const WaveHeader header =
        ReadWaveHeader({data, std::min<size_t>(size, WAVE_HEADER_BYTES)}, size);
    if (header.refusal != WaveRefusal::NONE) {
        FuzzCheck(header.dwDataLength == 0 && header.dwDataOffset == 0 && header.wfx.nChannels == 0,
                  "a refused header gives nothing");
        return 0;
    }
    FuzzCheck(size >= WAVE_HEADER_BYTES, "an accepted header is whole");
    FuzzCheck(header.dwDataOffset == WAVE_HEADER_BYTES, "data starts behind the header");
    FuzzCheck(header.dwDataLength <= size + WAVE_MAX_EXCESS_BYTES,
              "length bounded by the file size");
    FuzzCheck(header.wfx.wFormatTag == WAVE_FORMAT_PCM && header.wfx.cbSize == 0,
              "the format handed to the output is plain PCM");
    // Only the first 44 bytes count: the rest of the file changes nothing.
    const WaveHeader whole = ReadWaveHeader({data, size}, size);
    FuzzCheck(whole.dwDataLength == header.dwDataLength &&
                  whole.wfx.nSamplesPerSec == header.wfx.nSamplesPerSec,
              "bytes behind the header are not read");
    return 0;
}
