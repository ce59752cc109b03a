#pragma once
// Where the backend reads a clip's bytes from: an open file or memory. Every
// I/O context over it keeps its own position, so any number of readers,
// on any threads, share one source.

#include <cstdint>

class FfmpegClipBytes {
public:
    virtual ~FfmpegClipBytes() = default;

    virtual int64_t Size() const = 0;
    // Copies up to `size` bytes from `pos` into `dst`: the count, 0 at the
    // end, or a negative error code as a failing disk gives it. Safe from
    // several threads at once.
    virtual int Read(int64_t pos, uint8_t* dst, int size) const = 0;
};
