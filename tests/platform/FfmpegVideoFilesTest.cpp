#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "platform/BitmapInfo.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/support/ClipWriter.h"
#include "tests/support/FrameStamp.h"

namespace {

// Exact content for uncompressed clips: every byte depends on the frame and
// on the pixel's place, counted from the picture's top.
void PaintExact(int frame, uint8_t* rgb, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = rgb + (static_cast<size_t>(y) * w + x) * 3;
            p[0] = static_cast<uint8_t>(frame);
            p[1] = static_cast<uint8_t>(x * 7 + frame);
            p[2] = static_cast<uint8_t>(y * 13);
        }
}

// Compares a delivered frame with PaintExact's picture; the first difference, or "".
std::string CheckExact(const uint8_t* frame, int n, int w, int h) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, frame, sizeof header);
    if (header.biSize != 40 || header.biWidth != w || header.biHeight != h ||
        header.biPlanes != 1 || header.biBitCount != 24 || header.biCompression != BI_RGB ||
        header.biSizeImage != static_cast<uint32_t>(w * 3 * h))
        return "header";
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    PaintExact(n, rgb.data(), w, h);
    const uint8_t* bits = frame + header.biSize;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* want = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            const uint8_t* got = bits + (static_cast<size_t>(h - 1 - y) * w + x) * 3;
            if (got[0] != want[2] || got[1] != want[1] || got[2] != want[0])
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
        }
    return "";
}

std::string MakeClip(const std::string& name, const ClipOptions& o, const PaintFn& paint) {
    const std::string path = TestDataPath(name);
    std::string error;
    EXPECT_TRUE(WriteClip(path, o, paint, &error)) << error;
    return path;
}

struct Opened {
    std::unique_ptr<IVideoFile> file;
    std::unique_ptr<IVideoStream> stream;
    std::unique_ptr<IFrameReader> reader;
};

// Opens the file and a reader on its last video stream.
Opened OpenLastVideo(FfmpegVideoFiles& files, const std::string& path) {
    Opened o;
    o.file = files.Open(path.c_str());
    if (!o.file) return o;
    for (uint32_t n = 0; n < o.file->Info().dwStreams; ++n) {
        auto s = o.file->GetStream(n);
        if (s && s->Info().fccType == streamtypeVIDEO) o.stream = std::move(s);
    }
    if (o.stream) o.reader = o.stream->OpenFrameReader();
    return o;
}

// The order a test walks the frames in: forward, backward, then random.
std::vector<uint32_t> WalkOrder(uint32_t length, int randomFetches, uint32_t seed) {
    std::vector<uint32_t> order;
    for (uint32_t n = 0; n < length; ++n) order.push_back(n);
    for (uint32_t n = length; n-- > 0;) order.push_back(n);
    std::mt19937 rng(seed);
    for (int i = 0; i < randomFetches; ++i) order.push_back(rng() % length);
    return order;
}

TEST(FfmpegVideoFiles, RawClipIsExactInEveryOrder) {
    ClipOptions o;
    o.width = 33;  // rows of 99 bytes: not a multiple of 4
    o.height = 17;
    o.frames = 40;
    o.rateNum = 30000;
    o.rateDen = 1001;
    const std::string path = MakeClip("ffmpeg_raw33x17.avi", o, PaintExact);

    FfmpegVideoFiles files;
    Opened clip = OpenLastVideo(files, path);
    ASSERT_TRUE(clip.reader);
    const VideoFileInfo info = clip.file->Info();
    EXPECT_EQ(info.dwStreams, 1u);
    EXPECT_EQ(info.dwWidth, 33u);
    EXPECT_EQ(info.dwHeight, 17u);
    EXPECT_EQ(info.dwRate, 30000u);
    EXPECT_EQ(info.dwScale, 1001u);
    EXPECT_EQ(clip.stream->Info().dwLength, 40u);

    for (uint32_t n : WalkOrder(40, 100, 7)) {
        const uint8_t* frame = clip.reader->GetFrame(n);
        ASSERT_NE(frame, nullptr) << n;
        ASSERT_EQ(CheckExact(frame, static_cast<int>(n), 33, 17), "") << "frame " << n;
    }
    EXPECT_EQ(clip.reader->GetFrame(40), nullptr);
    EXPECT_EQ(clip.reader->GetFrame(0xFFFFFFFFu), nullptr);
    // The reader still works after refusing.
    ASSERT_NE(clip.reader->GetFrame(39), nullptr);
    EXPECT_EQ(CheckExact(clip.reader->GetFrame(39), 39, 33, 17), "");
}

TEST(FfmpegVideoFiles, ADroppedFrameShowsThePictureBeforeIt) {
    ClipOptions o;
    o.width = 9;
    o.height = 5;
    o.frames = 30;
    o.dropEvery = 4;  // frames 3, 7, 11, ... are empty chunks
    const std::string path = MakeClip("ffmpeg_dropped.avi", o, PaintExact);

    FfmpegVideoFiles files;
    Opened clip = OpenLastVideo(files, path);
    ASSERT_TRUE(clip.reader);
    ASSERT_EQ(clip.stream->Info().dwLength, 30u);
    for (uint32_t n : WalkOrder(30, 60, 11)) {
        const uint8_t* frame = clip.reader->GetFrame(n);
        ASSERT_NE(frame, nullptr) << n;
        const int shown = n % 4 == 3 ? static_cast<int>(n) - 1 : static_cast<int>(n);
        ASSERT_EQ(CheckExact(frame, shown, 9, 5), "") << "frame " << n;
    }
}

struct LossyCase {
    const char* name;
    ClipCodec codec;
    int maxBFrames;
    int gop;
    int width;  // whole 8-pixel groups or not: the two ways frames are converted
};

void PrintTo(const LossyCase& c, std::ostream* os) { *os << c.name; }

class FfmpegLossyClip : public testing::TestWithParam<LossyCase> {};

TEST_P(FfmpegLossyClip, EveryFetchDeliversTheFrameAskedFor) {
    const LossyCase& c = GetParam();
    ClipOptions o;
    o.codec = c.codec;
    o.maxBFrames = c.maxBFrames;
    o.gop = c.gop;
    o.width = c.width;
    o.height = 48;
    o.frames = 75;
    const std::string path = MakeClip("ffmpeg_" + std::string(c.name) + ".avi", o, PaintFrameStamp);

    FfmpegVideoFiles files;
    Opened clip = OpenLastVideo(files, path);
    ASSERT_TRUE(clip.reader);
    ASSERT_EQ(clip.stream->Info().dwLength, 75u);

    const uint32_t seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    int mismatches = 0;
    std::string first;
    for (uint32_t n : WalkOrder(75, 200, seed)) {
        const uint8_t* frame = clip.reader->GetFrame(n);
        ASSERT_NE(frame, nullptr) << n;
        const int got = ReadFrameStamp(frame + 40, c.width, 48);
        if (got != static_cast<int>(n)) {
            if (!mismatches) first = std::to_string(n) + " gave " + std::to_string(got);
            ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0) << "first: " << first;

    // Blue-green-red order: the red block reads red in byte 2.
    double bgr[3];
    ReadStampRed(clip.reader->GetFrame(5) + 40, c.width, 48, bgr);
    EXPECT_GT(bgr[2], 200);
    EXPECT_LT(bgr[0], 60);
    EXPECT_LT(bgr[1], 60);
}

INSTANTIATE_TEST_SUITE_P(Codecs, FfmpegLossyClip,
                         testing::Values(LossyCase{"mjpeg", ClipCodec::Mjpeg, 0, 12, 170},
                                         LossyCase{"mjpeg_w176", ClipCodec::Mjpeg, 0, 12, 176},
                                         LossyCase{"mpeg4", ClipCodec::Mpeg4, 0, 12, 176},
                                         LossyCase{"mpeg4_bframes", ClipCodec::Mpeg4, 2, 12, 176},
                                         LossyCase{"mpeg4_bframes_gop5", ClipCodec::Mpeg4, 2, 5,
                                                   162},
                                         LossyCase{"h264_bframes", ClipCodec::H264, 3, 24, 176}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FfmpegVideoFiles, StreamsAreReportedInFileOrder) {
    ClipOptions o;
    o.width = 40;
    o.height = 30;
    o.secondWidth = 24;
    o.secondHeight = 10;
    o.audio = true;
    o.frames = 10;
    const std::string path = MakeClip("ffmpeg_two_video.avi", o, PaintExact);

    FfmpegVideoFiles files;
    auto file = files.Open(path.c_str());
    ASSERT_TRUE(file);
    const VideoFileInfo info = file->Info();
    ASSERT_EQ(info.dwStreams, 3u);
    // The frame size is the last video stream's: the one a reader ends up with.
    EXPECT_EQ(info.dwWidth, 24u);
    EXPECT_EQ(info.dwHeight, 10u);
    EXPECT_EQ(file->GetStream(0)->Info().fccType, streamtypeVIDEO);
    EXPECT_EQ(file->GetStream(1)->Info().fccType, streamtypeVIDEO);
    EXPECT_EQ(file->GetStream(2)->Info().fccType, streamtypeAUDIO);
    EXPECT_EQ(file->GetStream(3), nullptr);
    EXPECT_EQ(file->GetStream(2)->OpenFrameReader(), nullptr);

    // Readers are independent, even interleaved on the same stream.
    auto first = file->GetStream(0)->OpenFrameReader();
    auto second = file->GetStream(1)->OpenFrameReader();
    auto again = file->GetStream(1)->OpenFrameReader();
    ASSERT_TRUE(first && second && again);
    for (int n = 0; n < 10; ++n) {
        ASSERT_EQ(CheckExact(first->GetFrame(n), n, 40, 30), "") << n;
        ASSERT_EQ(CheckExact(second->GetFrame(n), n, 24, 10), "") << n;
        ASSERT_EQ(CheckExact(again->GetFrame(9 - n), 9 - n, 24, 10), "") << n;
    }
    // A reader outlives the file and stream it came from.
    file.reset();
    EXPECT_EQ(CheckExact(second->GetFrame(3), 3, 24, 10), "");
}

TEST(FfmpegVideoFiles, TruncatedClipDeliversOnlyTrueFrames) {
    ClipOptions o;
    o.width = 20;
    o.height = 8;
    o.frames = 30;
    const std::string path = MakeClip("ffmpeg_whole.avi", o, PaintExact);
    const std::string cut = TestDataPath("ffmpeg_truncated.avi");
    const auto size = std::filesystem::file_size(path);
    std::filesystem::copy_file(path, cut, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(cut, size / 2);

    FfmpegVideoFiles files;
    Opened clip = OpenLastVideo(files, cut);
    ASSERT_TRUE(clip.reader);
    int delivered = 0;
    for (uint32_t n : WalkOrder(clip.stream->Info().dwLength, 50, 3)) {
        const uint8_t* frame = clip.reader->GetFrame(n);
        if (!frame) continue;
        ++delivered;
        ASSERT_EQ(CheckExact(frame, static_cast<int>(n), 20, 8), "") << n;
    }
    EXPECT_GT(delivered, 0);
}

// Reading ahead during playback: whatever order the numbers come in, each
// call delivers exactly the bytes a reader walking backwards (which never
// reads ahead) delivers for that frame, and they stay put until the next call
// while the reader works on in the background.
struct AheadCase {
    const char* name;
    ClipCodec codec;
    int maxBFrames;
    int dropEvery;
    bool cut;  // the file loses its second half
};

void PrintTo(const AheadCase& c, std::ostream* os) { *os << c.name; }

class FfmpegReadAhead : public testing::TestWithParam<AheadCase> {
protected:
    static constexpr int kWidth = 176, kHeight = 48, kFrames = 75;
    static constexpr size_t kBytes = 40 + size_t{kWidth} * 3 * kHeight;

    // A clip of this case's own, so that parallel runs never share a file.
    std::string Clip() const {
        const AheadCase& c = GetParam();
        ClipOptions o;
        o.codec = c.codec;
        o.maxBFrames = c.maxBFrames;
        o.dropEvery = c.dropEvery;
        o.width = kWidth;
        o.height = kHeight;
        o.frames = kFrames;
        o.gop = 12;
        std::string name = std::string("ffmpeg_ahead_") +
                           testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        const bool raw = c.codec == ClipCodec::RawBgr24;
        const std::string path = MakeClip(name + ".avi", o, raw ? PaintExact : PaintFrameStamp);
        if (!c.cut) return path;
        const std::string cut = TestDataPath(name + "_cut.avi");
        std::filesystem::copy_file(path, cut, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::resize_file(cut, std::filesystem::file_size(path) / 2);
        return cut;
    }

    // Every frame's bytes as read backwards; empty where none is delivered.
    static std::vector<std::vector<uint8_t>> ReadBackwards(IFrameReader& reader, uint32_t length) {
        std::vector<std::vector<uint8_t>> frames(length);
        for (uint32_t n = length; n-- > 0;)
            if (const uint8_t* frame = reader.GetFrame(n)) frames[n].assign(frame, frame + kBytes);
        return frames;
    }

    // "" when the bitmap shows frame n: the picture before it for a dropped one.
    static std::string Shows(const uint8_t* frame, uint32_t n) {
        const AheadCase& c = GetParam();
        int shown = static_cast<int>(n);
        if (c.dropEvery && n % c.dropEvery == static_cast<uint32_t>(c.dropEvery - 1)) --shown;
        if (c.codec == ClipCodec::RawBgr24) return CheckExact(frame, shown, kWidth, kHeight);
        const int got = ReadFrameStamp(frame + 40, kWidth, kHeight);
        return got == shown ? "" : "stamp " + std::to_string(got);
    }

    // "" when `frame` is what `expected` says for n.
    static std::string Matches(const uint8_t* frame, uint32_t n,
                               const std::vector<std::vector<uint8_t>>& expected) {
        if (n >= expected.size() || expected[n].empty())
            return frame ? "delivered, backwards gave none" : "";
        if (!frame) return "none, backwards delivered";
        if (!std::equal(expected[n].begin(), expected[n].end(), frame)) return "other bytes";
        return Shows(frame, n);
    }
};

TEST_P(FfmpegReadAhead, PlaybackMixedWithJumpsDeliversEachFrameExactly) {
    FfmpegVideoFiles files;
    const std::string path = Clip();
    Opened clip = OpenLastVideo(files, path);
    Opened backwards = OpenLastVideo(files, path);
    ASSERT_TRUE(clip.reader && backwards.reader);
    ASSERT_EQ(clip.stream->Info().dwLength, static_cast<uint32_t>(kFrames));
    const auto expected = ReadBackwards(*backwards.reader, kFrames);
    const auto delivered = std::count_if(expected.begin(), expected.end(),
                                         [](const auto& bytes) { return !bytes.empty(); });
    if (GetParam().cut) {
        EXPECT_GT(delivered, 10);
        EXPECT_LT(delivered, kFrames - 10);
    } else {
        EXPECT_EQ(delivered, kFrames);
    }

    // Runs played as the detection window does (n, n again, then n + 1), each
    // left by a jump: back, just past the frame read ahead, onto it after a
    // detour, off the end, and to the last frame.
    std::vector<uint32_t> order;
    auto play = [&](uint32_t from, uint32_t count) {
        for (uint32_t n = from; n < from + count; ++n) order.insert(order.end(), {n, n});
    };
    play(0, 8);
    order.push_back(3);
    play(4, 5);
    order.push_back(10);
    play(20, 3);
    order.insert(order.end(), {23, 30, 23});
    play(24, 4);
    order.insert(order.end(), {kFrames, 28, 0xFFFFFFFFu});
    play(29, 2);
    order.push_back(11);
    play(kFrames - 4, 6);  // into the end and past it
    order.push_back(kFrames - 1);
    play(static_cast<uint32_t>(delivered) - 3, 6);  // into a cut file's end
    order.push_back(2);
    std::mt19937 rng(5);
    for (int i = 0; i < 12; ++i) play(rng() % kFrames, 1 + rng() % 4);

    for (size_t i = 0; i < order.size(); ++i) {
        const uint32_t n = order[i];
        const uint8_t* frame = clip.reader->GetFrame(n);
        ASSERT_EQ(Matches(frame, n, expected), "") << "call " << i << " frame " << n;
        // As long as a tick's work: the reader is busy with the next frame meanwhile.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(Matches(frame, n, expected), "") << "changed after call " << i << " frame " << n;
    }
}

TEST_P(FfmpegReadAhead, ReaderReleasedWhileReadingAhead) {
    FfmpegVideoFiles files;
    const std::string path = Clip();
    for (uint32_t stop = 0; stop < 12; ++stop) {
        Opened clip = OpenLastVideo(files, path);
        ASSERT_TRUE(clip.reader);
        // Paced like playback, so that the reader keeps reading ahead.
        for (uint32_t n = 0; n <= stop; ++n) {
            const uint8_t* frame = clip.reader->GetFrame(n);
            ASSERT_NE(frame, nullptr) << n;
            ASSERT_EQ(Shows(frame, n), "") << n;
            if (n < stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // Odd rounds turn away from the frame being read ahead first.
        if (stop % 2) {
            const uint8_t* frame = clip.reader->GetFrame(stop / 2);
            ASSERT_NE(frame, nullptr);
            ASSERT_EQ(Shows(frame, stop / 2), "");
            frame = clip.reader->GetFrame(stop / 2 + 1);
            ASSERT_NE(frame, nullptr);
            ASSERT_EQ(Shows(frame, stop / 2 + 1), "");
        }
        clip.reader.reset();  // the next frame is still being read
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, FfmpegReadAhead,
                         testing::Values(AheadCase{"raw", ClipCodec::RawBgr24, 0, 0, false},
                                         AheadCase{"raw_dropped", ClipCodec::RawBgr24, 0, 7, false},
                                         AheadCase{"raw_cut", ClipCodec::RawBgr24, 0, 0, true},
                                         AheadCase{"mpeg4_bframes", ClipCodec::Mpeg4, 2, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
