// libFuzzer entry: any bytes as a WAV file for CSoundBank::AddWave. Besides
// the sanitizers' own checks, a load must keep the loader's promises: the
// declared length stays within the file size + 16 MiB, the clip holds the
// file's bytes from offset 44 on, and the rest of the block is zero.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sound/SoundBank.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "wave loader broke a promise: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int fd = memfd_create("wav", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);

    CSoundBank bank;
    const int result = bank.AddWave(path);
    Check(result == -1 || result == 1, "result is -1 or the new count");
    if (result != 1) return 0;
    Check(size >= WAVE_HEADER_BYTES, "a loaded file has a whole header");
    const WaveClip& clip = bank.Clip(0);
    Check(clip.dwDataLength <= size + WAVE_MAX_EXCESS_BYTES, "length bounded by the file size");
    const size_t fromFile = std::min<size_t>(clip.dwDataLength, size - WAVE_HEADER_BYTES);
    Check(std::memcmp(clip.pData, data + WAVE_HEADER_BYTES, fromFile) == 0,
          "clip holds the file's data");
    for (size_t i = fromFile; i < clip.dwDataLength; ++i)
        Check(clip.pData[i] == 0, "tail beyond the file is zero");
    return 0;
}
