#include "platform/ffmpeg/FfmpegVideoStream.h"

#include "platform/ffmpeg/FfmpegFrameReader.h"

std::unique_ptr<IFrameReader> FfmpegVideoStream::OpenFrameReader(FrameReaderUse use) {
    return FfmpegFrameReader::Create(m_desc, use);
}
