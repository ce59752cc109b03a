#include "platform/ffmpeg/FfmpegFileClip.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

int FfmpegFileClip::Read(int64_t pos, uint8_t* dst, int size) const {
    if (pos < 0 || size <= 0) return 0;
    const ssize_t got = m_file.ReadAt(static_cast<uint64_t>(pos), dst, static_cast<size_t>(size));
    if (got < 0) return errno ? AVERROR(errno) : AVERROR(EIO);
    return static_cast<int>(got);
}
