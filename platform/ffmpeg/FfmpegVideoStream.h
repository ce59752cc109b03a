#pragma once
// One stream of an opened file.

#include <memory>

#include "platform/VideoFile.h"
#include "platform/ffmpeg/FfmpegAheadWorker.h"
#include "platform/ffmpeg/FfmpegStreamDesc.h"

class FfmpegVideoStream final : public IVideoStream {
public:
    explicit FfmpegVideoStream(FfmpegStreamDesc desc) : m_desc(std::move(desc)) {}

    VideoStreamInfo Info() const override {
        return {m_desc.fccType, m_desc.dwLength, m_desc.fccHandler};
    }
    std::unique_ptr<IFrameReader> OpenFrameReader(FrameReaderUse use) override;

private:
    FfmpegStreamDesc m_desc;
    // Reads ahead for every reader opened here as one of several.
    std::shared_ptr<FfmpegAheadWorker> m_pShared;
};
