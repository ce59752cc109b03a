#pragma once
// An opened file: its streams, in file order, as probed at open time.

#include <vector>

#include "platform/VideoFile.h"
#include "platform/ffmpeg/FfmpegStreamDesc.h"

class FfmpegVideoFile final : public IVideoFile {
public:
    explicit FfmpegVideoFile(std::vector<FfmpegStreamDesc> streams);

    VideoFileInfo Info() const override;
    std::unique_ptr<IVideoStream> GetStream(uint32_t number) override;

private:
    std::vector<FfmpegStreamDesc> m_streams;
    VideoFileInfo m_info;
};
