#pragma once
// Opening a clip for the backend: read as AVI and nothing else, through I/O
// callbacks over its bytes (an open regular file, or memory), with the
// pictures the decoders may allocate bounded by the frame limits of
// platform/VideoFile.h.

#include <memory>

#include "platform/ffmpeg/FfmpegClipBytes.h"
#include "platform/ffmpeg/FfmpegPtr.h"

namespace ffmpeg {

// Where a clip's bytes come from. A reader opens its source again for itself,
// with an I/O context of its own over the same bytes.
struct Source {
    std::shared_ptr<const FfmpegClipBytes> pBytes;
};

// The demuxed and probed clip; null when it is not an AVI file libavformat can read.
InputPtr OpenInput(const Source& source);

// Codec options that refuse pictures beyond the frame limits, for any decoder.
void LimitPictureSize(AVCodecContext* codec);

}  // namespace ffmpeg
