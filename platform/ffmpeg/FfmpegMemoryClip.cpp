#include "platform/ffmpeg/FfmpegMemoryClip.h"

#include <algorithm>
#include <cstring>

int FfmpegMemoryClip::Read(int64_t pos, uint8_t* dst, int size) const {
    if (pos < 0 || pos >= Size() || size <= 0) return 0;
    const int count = static_cast<int>(std::min<int64_t>(size, Size() - pos));
    std::memcpy(dst, m_bytes.data() + pos, static_cast<size_t>(count));
    return count;
}
