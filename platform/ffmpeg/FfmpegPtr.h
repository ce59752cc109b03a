#pragma once
// Owning pointers for the FFmpeg objects the backend holds.

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace ffmpeg {

// Closes the input and frees an I/O context of our own (FfmpegInput.cpp).
struct InputClose {
    void operator()(AVFormatContext* ctx) const;
};
struct CodecFree {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwsFree {
    void operator()(SwsContext* sws) const { sws_freeContext(sws); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputClose>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;

}  // namespace ffmpeg
