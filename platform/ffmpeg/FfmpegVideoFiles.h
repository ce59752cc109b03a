#pragma once
// Video file service on libavformat / libavcodec / libswscale: reads any file
// libavformat can demux (AVI above all) and delivers frames as packed 24-bit
// bottom-up bitmaps.

#include "platform/VideoFile.h"

class FfmpegVideoFiles final : public IVideoFiles {
public:
    std::unique_ptr<IVideoFile> Open(const char* path) override;
};
