#pragma once
// Video file service on libavformat / libavcodec / libswscale: reads any file
// libavformat can demux (AVI above all) and delivers frames as packed 24-bit
// bottom-up bitmaps.

#include "platform/VideoFile.h"

class FfmpegVideoFiles final : public IVideoFiles {
public:
    // Silences libav's own logging: damaged clips are reported to callers
    // through null results, and the program keeps no log.
    FfmpegVideoFiles();

    std::unique_ptr<IVideoFile> Open(const char* path) override;
};
