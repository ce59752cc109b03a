#include "platform/ffmpeg/FfmpegVideoFile.h"

#include "platform/ffmpeg/FfmpegVideoStream.h"

FfmpegVideoFile::FfmpegVideoFile(std::vector<FfmpegStreamDesc> streams)
    : m_streams(std::move(streams)) {
    m_info.dwStreams = static_cast<uint32_t>(m_streams.size());
    // The file's frame size and rate are those of the video stream a reader
    // of the file ends up with: the last one.
    for (const FfmpegStreamDesc& d : m_streams) {
        if (d.fccType != streamtypeVIDEO) continue;
        m_info.dwWidth = static_cast<uint32_t>(d.nWidth > 0 ? d.nWidth : 0);
        m_info.dwHeight = static_cast<uint32_t>(d.nHeight > 0 ? d.nHeight : 0);
        m_info.dwRate = d.dwRate;
        m_info.dwScale = d.dwScale;
    }
}

VideoFileInfo FfmpegVideoFile::Info() const { return m_info; }

std::unique_ptr<IVideoStream> FfmpegVideoFile::GetStream(uint32_t number) {
    if (number >= m_streams.size()) return nullptr;
    return std::make_unique<FfmpegVideoStream>(m_streams[number]);
}
