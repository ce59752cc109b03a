#pragma once
// The open clip behind a CAviControl: file, chosen video stream and its frame reader.

#include <memory>

#include "platform/VideoFile.h"

struct ClipSource {
    std::unique_ptr<IVideoFile> pFile;
    VideoFileInfo fileInfo;
    std::unique_ptr<IVideoStream> pStream;
    VideoStreamInfo streamInfo;
    std::unique_ptr<IFrameReader> pGetFrame;
    double dFramesPerSec = 0.0;
};
