#include "platform/ffmpeg/FfmpegVideoStream.h"

#include "platform/ffmpeg/FfmpegFrameReader.h"

std::unique_ptr<IFrameReader> FfmpegVideoStream::OpenFrameReader(FrameReaderUse use) {
    if (use == FrameReaderUse::Alone) return FfmpegFrameReader::Create(m_desc, use);
    if (!m_pShared) m_pShared = std::make_shared<FfmpegAheadWorker>(m_desc.bReadAhead);
    return FfmpegFrameReader::Create(m_desc, use, m_pShared);
}
