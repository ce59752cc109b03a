#pragma once
// A clip's bytes read from the file the user named, through the descriptor
// that was checked when it was opened; the readers of one clip share it.

#include "platform/UserFile.h"
#include "platform/ffmpeg/FfmpegClipBytes.h"

class FfmpegFileClip final : public FfmpegClipBytes {
public:
    explicit FfmpegFileClip(UserFile file) : m_file(std::move(file)) {}

    int64_t Size() const override { return static_cast<int64_t>(m_file.Size()); }
    int Read(int64_t pos, uint8_t* dst, int size) const override;

private:
    UserFile m_file;
};
