#pragma once
// Opening a clip for the backend: read as AVI and nothing else, from a
// regular file on the local disk (or from memory, see FfmpegMemoryClip), with
// the pictures the decoders may allocate bounded by the frame limits of
// platform/VideoFile.h.

#include <memory>
#include <string>

#include "platform/ffmpeg/FfmpegMemoryClip.h"
#include "platform/ffmpeg/FfmpegPtr.h"

namespace ffmpeg {

// Where a clip's bytes come from. A reader opens its source again for itself.
struct Source {
    std::string strPath;
    std::shared_ptr<const FfmpegMemoryClip> pMemory;  // read instead of the path when set
};

// The demuxed and probed clip; null when it is not an AVI file libavformat can read.
InputPtr OpenInput(const Source& source);

// Codec options that refuse pictures beyond the frame limits, for any decoder.
void LimitPictureSize(AVCodecContext* codec);

}  // namespace ffmpeg
