#pragma once
// Video file access: what the clip reader needs of an AVI library.
//
// Callers rely on:
// - IVideoFiles::Open reads the path as an AVI file on the local disk and
//   nothing else: it returns null for any other format (a playlist or a
//   Matroska file named .avi included) and for files it cannot parse;
//   nothing is shown to the user.
// - IVideoFile::Info reports the stream count, the frame size and the video
//   rate as rate / scale (frames per second = dwRate / dwScale).
// - IVideoFile::GetStream(n) for 0 <= n < dwStreams returns that stream, of any
//   type; null for other numbers.
// - IVideoStream::Info gives fccType (streamtypeVIDEO for video) and dwLength,
//   the stream's length in frames.
// - IVideoStream::OpenFrameReader returns null when no decoder exists for the
//   stream, it is not a video stream, or its frames exceed the limits below;
//   nothing frame-sized is allocated for such a stream. Its use says whether
//   the reader plays alone, and may take more of the machine's cores, or is
//   one of several kept open at once; frames are the same either way.
// - IFrameReader::GetFrame(n) returns a packed bitmap: a 40-byte
//   BITMAPINFOHEADER, then the pixel rows at biSize bytes from the start,
//   24-bit blue-green-red, bottom-up, rows of exactly width x 3 bytes. It stays
//   valid until the next call on the same reader or the reader's release; null
//   when frame n cannot be delivered (n >= dwLength included). For every
//   codec an AVI file holds, frame n is the n-th picture in display order
//   from the stream's start, whatever order earlier calls asked for; a
//   dropped frame shows the picture before it. Damage in the file costs only
//   the frames it holds and, where pictures are predicted from others, those
//   up to the next keyframe behind it (the second one, with B-frames).
// - Objects may be released in any order; a reader keeps what it needs alive.
// Each object is used by one thread at a time (a reader may be handed to
// another thread with a lock between), and separate readers may be used on
// separate threads at once.

#include <cstdint>
#include <memory>

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

constexpr uint32_t streamtypeVIDEO = MakeFourCC('v', 'i', 'd', 's');
constexpr uint32_t streamtypeAUDIO = MakeFourCC('a', 'u', 'd', 's');

// The largest frame a reader delivers: at most 8192 pixels a side and 128 MiB
// as a 24-bit picture. DCI 8K (8192 x 4320, 101 MiB) fits; the bound keeps
// what a small file can make the program take for its frames (a few in the
// reader and decoder, about two more in the detection window) under 1 GiB.
constexpr uint32_t VIDEO_MAX_FRAME_SIDE = 8192;
constexpr uint64_t VIDEO_MAX_FRAME_BYTES = uint64_t{128} << 20;

struct VideoFileInfo {
    uint32_t dwStreams = 0;
    uint32_t dwWidth = 0;
    uint32_t dwHeight = 0;
    uint32_t dwRate = 0;
    uint32_t dwScale = 0;
};

struct VideoStreamInfo {
    uint32_t fccType = 0;
    uint32_t dwLength = 0;
    uint32_t fccHandler = 0;  // the codec's FOURCC as the file names it; 0 when unknown
};

class IFrameReader {
public:
    virtual ~IFrameReader() = default;
    virtual const uint8_t* GetFrame(uint32_t frame) = 0;
    // The frame is read as GetFrame reads it, but its pixels are not wanted
    // yet: a reader may leave them unmade until GetFrame asks for the same
    // frame. False where GetFrame would give nothing.
    virtual bool ReachFrame(uint32_t frame) { return GetFrame(frame) != nullptr; }
    // The pictures a jump to the frame from elsewhere in the stream decodes:
    // 1 where a seek lands on it. Told by what the reader learnt of the
    // stream when it was opened, so it may be asked while the reader works
    // ahead on a thread of its own; 0 when the reader cannot tell.
    virtual uint32_t JumpCost(uint32_t /*frame*/) const { return 0; }
};

enum class FrameReaderUse { Alone, OneOfSeveral };

class IVideoStream {
public:
    virtual ~IVideoStream() = default;
    virtual VideoStreamInfo Info() const = 0;
    virtual std::unique_ptr<IFrameReader> OpenFrameReader(
        FrameReaderUse use = FrameReaderUse::Alone) = 0;
};

class IVideoFile {
public:
    virtual ~IVideoFile() = default;
    virtual VideoFileInfo Info() const = 0;
    virtual std::unique_ptr<IVideoStream> GetStream(uint32_t number) = 0;
};

class IVideoFiles {
public:
    virtual ~IVideoFiles() = default;
    virtual std::unique_ptr<IVideoFile> Open(const char* path) = 0;
};

namespace platform {
// The process's video file service; the program's entry point (or a test)
// installs a backend before any clip is opened. Not owned.
IVideoFiles& VideoFiles();
void SetVideoFiles(IVideoFiles* service);
}  // namespace platform
