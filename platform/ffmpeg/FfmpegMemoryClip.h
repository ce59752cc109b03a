#pragma once
// A clip's bytes held in memory, read by the backend through a custom I/O
// context instead of a file: for fuzzing and tests, so that no file is written
// per input. Never reached from a path a user picked.

#include <cstdint>
#include <vector>

class FfmpegMemoryClip {
public:
    explicit FfmpegMemoryClip(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    virtual ~FfmpegMemoryClip() = default;

    int64_t Size() const { return static_cast<int64_t>(m_bytes.size()); }

    // Copies up to `size` bytes from `pos` into `dst`: the count, 0 at the
    // end, or a negative error code as a failing disk gives it.
    virtual int Read(int64_t pos, uint8_t* dst, int size) const;

private:
    std::vector<uint8_t> m_bytes;
};
