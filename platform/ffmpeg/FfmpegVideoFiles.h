#pragma once
// Video file service on libavformat / libavcodec / libswscale: reads AVI
// files from the local disk and delivers frames as packed 24-bit bottom-up
// bitmaps. A clip's file is opened once (platform/UserFile.h); its readers
// all read through that descriptor.

#include <memory>

#include "platform/VideoFile.h"
#include "platform/ffmpeg/FfmpegInput.h"
#include "platform/ffmpeg/FfmpegMemoryClip.h"

class FfmpegVideoFiles final : public IVideoFiles {
public:
    enum class Reading { Ahead, OnDemand };

    // Silences libav's own logging: damaged clips are reported to callers
    // through null results, and the program keeps no log. Readers of clips
    // opened here read ahead, or only when asked for a frame.
    explicit FfmpegVideoFiles(Reading reading = Reading::Ahead);

    std::unique_ptr<IVideoFile> Open(const char* path) override;
    // The same for a clip held in memory (fuzzing, tests).
    std::unique_ptr<IVideoFile> OpenMemory(std::shared_ptr<const FfmpegMemoryClip> clip);

private:
    std::unique_ptr<IVideoFile> OpenSource(const ffmpeg::Source& source);

    const Reading m_reading;
};
