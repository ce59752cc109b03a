#include "platform/ffmpeg/FfmpegInput.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/VideoFile.h"

extern "C" {
#include <libavutil/error.h>
}

namespace {

// One I/O context's view of a clip: the shared bytes and its own position.
struct ClipCursor {
    std::shared_ptr<const FfmpegClipBytes> pClip;
    int64_t nPos = 0;
};

int ReadClip(void* opaque, uint8_t* dst, int size) {
    auto* cursor = static_cast<ClipCursor*>(opaque);
    const int count = cursor->pClip->Read(cursor->nPos, dst, size);
    if (count < 0) return count;
    if (count == 0) return AVERROR_EOF;
    cursor->nPos += count;
    return count;
}

int64_t SeekClip(void* opaque, int64_t offset, int whence) {
    auto* cursor = static_cast<ClipCursor*>(opaque);
    const int64_t size = cursor->pClip->Size();
    int64_t pos;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size;
        case SEEK_SET:
            pos = offset;
            break;
        case SEEK_CUR:
            pos = cursor->nPos + offset;
            break;
        case SEEK_END:
            pos = size + offset;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (pos < 0 || pos > size) return AVERROR(EINVAL);
    cursor->nPos = pos;
    return pos;
}

constexpr int CLIP_IO_BUFFER = 32768;
// Far more chunks than any clip's header holds.
constexpr int MAX_HEADER_CHUNKS = 65536;

// Reads `size` bytes at `pos`; false when they are not all there.
using ReadAt = std::function<bool(int64_t pos, uint8_t* dst, int size)>;

// libavformat allocates what some chunks of the header declare (a stream's
// name, for one) before it reads them, so every chunk before the frames
// must fit inside the list that holds it, and so inside the file. The frames
// list itself may run past a cut file's end: its chunks are read as they come.
bool HeaderChunksFit(const ReadAt& read, int64_t fileSize) {
    struct List {
        int64_t nEnd;   // one past its last byte
        int64_t nNext;  // where the chunk after it starts (lists are padded to even sizes)
    };
    std::vector<List> lists{{fileSize, fileSize}};
    int64_t pos = 12;  // past "RIFF", its size and "AVI "
    for (int chunks = 0; chunks < MAX_HEADER_CHUNKS; ++chunks) {
        while (lists.size() > 1 && pos + 8 > lists.back().nEnd) {
            pos = lists.back().nNext;
            lists.pop_back();
        }
        uint8_t head[12];
        // The end of the file before the frames: libavformat finds no clip there.
        if (pos + 8 > lists.back().nEnd || !read(pos, head, 8)) return true;
        uint32_t size;
        std::memcpy(&size, head + 4, sizeof size);  // little-endian, as the machine
        const bool list = std::memcmp(head, "LIST", 4) == 0 && size >= 4;
        if (list && !read(pos + 8, head + 8, 4)) return true;
        if (list && std::memcmp(head + 8, "movi", 4) == 0) return true;
        const int64_t end = pos + 8 + size;
        if (end > lists.back().nEnd) return false;
        if (list) {
            lists.push_back({end, end + (size & 1)});
            pos += 12;
        } else {
            pos = end + (size & 1);
        }
    }
    return false;
}

// A context reading the clip's bytes from their start; null when out of memory.
AVFormatContext* ClipContext(std::shared_ptr<const FfmpegClipBytes> clip) {
    AVFormatContext* ctx = avformat_alloc_context();
    if (!ctx) return nullptr;
    auto* buffer = static_cast<uint8_t*>(av_malloc(CLIP_IO_BUFFER));
    auto* cursor = new ClipCursor{std::move(clip), 0};
    ctx->pb =
        buffer ? avio_alloc_context(buffer, CLIP_IO_BUFFER, 0, cursor, ReadClip, nullptr, SeekClip)
               : nullptr;
    if (!ctx->pb) {
        av_free(buffer);
        delete cursor;
        avformat_free_context(ctx);
        return nullptr;
    }
    ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    return ctx;
}

void FreeClipIo(AVIOContext* pb) {
    if (!pb) return;
    delete static_cast<ClipCursor*>(pb->opaque);
    av_freep(&pb->buffer);
    avio_context_free(&pb);
}

}  // namespace

namespace ffmpeg {

void InputClose::operator()(AVFormatContext* ctx) const {
    AVIOContext* custom = ctx && (ctx->flags & AVFMT_FLAG_CUSTOM_IO) ? ctx->pb : nullptr;
    avformat_close_input(&ctx);
    FreeClipIo(custom);
}

void LimitPictureSize(AVCodecContext* codec) {
    codec->max_pixels = static_cast<int64_t>(VIDEO_MAX_FRAME_BYTES / 3);
}

InputPtr OpenInput(const Source& source) {
    const AVInputFormat* avi = av_find_input_format("avi");
    if (!avi) return nullptr;
    if (!source.pBytes) return nullptr;
    const FfmpegClipBytes& clip = *source.pBytes;
    const auto read = [&clip](int64_t pos, uint8_t* dst, int size) {
        return clip.Read(pos, dst, size) == size;
    };
    if (!HeaderChunksFit(read, clip.Size())) return nullptr;
    AVFormatContext* raw = ClipContext(source.pBytes);
    if (!raw) return nullptr;
    AVIOContext* custom = raw->pb;
    if (avformat_open_input(&raw, nullptr, avi, nullptr) < 0) {
        // A failed open frees the context but not an I/O context of our own.
        FreeClipIo(custom);
        return nullptr;
    }
    InputPtr input(raw);

    // Probing decodes a picture or two: bound their size before any is allocated.
    std::vector<AVDictionary*> streamOptions(input->nb_streams, nullptr);
    const std::string maxPixels = std::to_string(VIDEO_MAX_FRAME_BYTES / 3);
    for (AVDictionary*& d : streamOptions) av_dict_set(&d, "max_pixels", maxPixels.c_str(), 0);
    const int probed = avformat_find_stream_info(input.get(), streamOptions.data());
    for (AVDictionary*& d : streamOptions) av_dict_free(&d);
    if (probed < 0) return nullptr;
    return input;
}

}  // namespace ffmpeg
