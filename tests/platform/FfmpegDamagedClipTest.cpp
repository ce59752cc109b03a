// Damaged clips cost only the frames the damage holds: every other frame
// still comes back as itself, read forward or backward.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/support/ClipWriter.h"
#include "tests/support/FrameStamp.h"

extern "C" {
#include <libavutil/error.h>
}

namespace {

constexpr int kWidth = 352, kHeight = 96;

// Stamped pictures with noise below the stamp, so that frames take some room.
void PaintNoisy(int frame, uint8_t* rgb, int w, int h) {
    PaintFrameStamp(frame, rgb, w, h);
    uint32_t state = 2654435761u * static_cast<uint32_t>(frame + 1);
    for (size_t i = size_t{FRAME_STAMP_MIN_HEIGHT} * w * 3; i < size_t(w) * h * 3; ++i) {
        state = state * 1664525u + 1013904223u;
        rgb[i] = static_cast<uint8_t>(state >> 24);
    }
}

std::vector<uint8_t> WriteStamped(const std::string& name, const ClipOptions& o) {
    const std::string path = TestDataPath(name);
    std::string error;
    EXPECT_TRUE(WriteClip(path, o, PaintNoisy, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Where each video chunk (tag, size, data) of a clip written by WriteClip begins.
std::vector<size_t> VideoChunks(const std::vector<uint8_t>& bytes) {
    std::vector<size_t> chunks;
    const char movi[] = "movi";
    size_t at = std::search(bytes.begin(), bytes.end(), movi, movi + 4) - bytes.begin() + 4;
    while (at + 8 <= bytes.size()) {
        uint32_t size;
        std::memcpy(&size, &bytes[at + 4], sizeof size);
        if (std::memcmp(&bytes[at], "idx1", 4) == 0) break;
        if (std::memcmp(&bytes[at], "00dc", 4) == 0) chunks.push_back(at);
        at += 8 + size + (size & 1);
    }
    return chunks;
}

// A clip whose bytes in [from, to) read as a failing disk reads them.
class UnreadableRun final : public FfmpegMemoryClip {
public:
    UnreadableRun(std::vector<uint8_t> bytes, int64_t from, int64_t to)
        : FfmpegMemoryClip(std::move(bytes)), m_from(from), m_to(to) {}
    int Read(int64_t pos, uint8_t* dst, int size) const override {
        if (pos < m_to && pos + size > m_from) {
            if (pos >= m_from) return AVERROR(EIO);
            size = static_cast<int>(m_from - pos);
        }
        return FfmpegMemoryClip::Read(pos, dst, size);
    }

private:
    int64_t m_from, m_to;
};

struct Reader {
    std::unique_ptr<IVideoFile> file;
    std::unique_ptr<IFrameReader> reader;
    uint32_t length = 0;
};

Reader Open(FfmpegVideoFiles& files, std::shared_ptr<const FfmpegMemoryClip> clip) {
    Reader r;
    r.file = files.OpenMemory(std::move(clip));
    if (!r.file) return r;
    auto stream = r.file->GetStream(0);
    r.length = stream->Info().dwLength;
    r.reader = stream->OpenFrameReader();
    return r;
}

// Forward then backward over every frame: the frames whose stamp is wrong
// ("n:got", -2 for none) among those in [0, goodBefore) and [goodFrom, length),
// and any frame in between that shows a later frame's picture. (A frame the
// damage took may show the picture before it, as a dropped frame does.)
std::string Walk(IFrameReader& reader, uint32_t length, uint32_t goodBefore, uint32_t goodFrom) {
    std::vector<uint32_t> order;
    for (uint32_t n = 0; n < length; ++n) order.push_back(n);
    for (uint32_t n = length; n-- > 0;) order.push_back(n);
    std::string wrong;
    for (uint32_t n : order) {
        const uint8_t* frame = reader.GetFrame(n);
        const int got = frame ? ReadFrameStamp(frame + 40, kWidth, kHeight) : -2;
        const bool mustShow = n < goodBefore || n >= goodFrom;
        if ((mustShow && got != static_cast<int>(n)) || got > static_cast<int>(n))
            wrong += " " + std::to_string(n) + ":" + std::to_string(got);
    }
    return wrong;
}

// A run of bytes in the middle of a clip overwritten, or unreadable: from
// inside frame 29's chunk to the header of frame 31's. The clip is large
// enough that its headers and index are read in buffers clear of the damage.
TEST(FfmpegDamagedClip, DamageMidFileCostsOnlyTheFramesItHolds) {
    const std::vector<uint8_t> bytes =
        WriteStamped("ffmpeg_damage_mid.avi",
                     {.codec = ClipCodec::Mjpeg, .width = kWidth, .height = kHeight, .frames = 60});
    const std::vector<size_t> chunks = VideoChunks(bytes);
    ASSERT_EQ(chunks.size(), 60u);
    const int64_t from = static_cast<int64_t>(chunks[29]) + 100;
    const int64_t to = static_cast<int64_t>(chunks[31]) + 4;
    ASSERT_GT(from, 65536);
    ASSERT_LT(to + 65536, static_cast<int64_t>(bytes.size()));
    std::vector<uint8_t> overwritten = bytes;
    std::fill(overwritten.begin() + from, overwritten.begin() + to, 0xFF);
    const std::shared_ptr<const FfmpegMemoryClip> clips[] = {
        std::make_shared<FfmpegMemoryClip>(overwritten),
        std::make_shared<UnreadableRun>(bytes, from, to)};
    for (const auto& clip : clips) {
        SCOPED_TRACE(&clip == &clips[0] ? "overwritten" : "unreadable");
        FfmpegVideoFiles files;
        Reader r = Open(files, clip);
        ASSERT_TRUE(r.reader);
        ASSERT_EQ(r.length, 60u);
        EXPECT_EQ(Walk(*r.reader, r.length, 29, 32), "");
    }
}

// The first keyframe's chunk zeroed: its frames are lost, never shown as
// another frame's picture, and every frame from the next keyframe group on
// comes back.
TEST(FfmpegDamagedClip, LostFirstKeyframeCostsOnlyItsGroup) {
    struct {
        ClipCodec codec;
        int maxBFrames;
        uint32_t goodFrom;
    } const cases[] = {
        {ClipCodec::Mjpeg, 0, 1}, {ClipCodec::Mpeg4, 2, 24}, {ClipCodec::Mpeg1, 2, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.codec));
        ClipOptions o{.codec = c.codec, .width = kWidth, .height = kHeight, .frames = 40};
        o.maxBFrames = c.maxBFrames;
        std::vector<uint8_t> bytes = WriteStamped("ffmpeg_damage_first.avi", o);
        const size_t first = VideoChunks(bytes).at(0);
        uint32_t size;
        std::memcpy(&size, &bytes[first + 4], sizeof size);
        std::fill_n(bytes.begin() + static_cast<ptrdiff_t>(first) + 8, size, 0);

        FfmpegVideoFiles files;
        Reader r = Open(files, std::make_shared<FfmpegMemoryClip>(std::move(bytes)));
        ASSERT_TRUE(r.reader);
        EXPECT_EQ(Walk(*r.reader, r.length, 0, c.goodFrom), "");
    }
}

}  // namespace
