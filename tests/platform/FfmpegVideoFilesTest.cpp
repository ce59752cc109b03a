#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "platform/BitmapInfo.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/support/ClipWriter.h"
#include "tests/support/FrameStamp.h"
#include "tests/support/TestSeed.h"

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

// The frame whose picture n shows: the one before it when n was dropped.
int Shown(uint32_t n, int dropEvery) {
    const bool dropped = dropEvery && n % dropEvery == static_cast<uint32_t>(dropEvery - 1);
    return static_cast<int>(n) - (dropped ? 1 : 0);
}

// Writes the clip; with `cut`, returns a copy of it without its second half.
std::string MakeClip(const std::string& name, const ClipOptions& o, const PaintFn& paint,
                     bool cut = false) {
    const std::string path = TestDataPath(name + ".avi");
    std::string error;
    EXPECT_TRUE(WriteClip(path, o, paint, &error)) << error;
    if (!cut) return path;
    const std::string half = TestDataPath(name + "_cut.avi");
    std::filesystem::copy_file(path, half, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(half, std::filesystem::file_size(path) / 2);
    return half;
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

// Uncompressed clips come out byte for byte in every order: with rows that
// are not a multiple of 4 bytes, with dropped frames (empty chunks show the
// picture before), and cut in half (no frame made up past the cut).
TEST(FfmpegVideoFiles, RawClipsAreExactInEveryOrder) {
    struct {
        const char* name;
        ClipOptions o;
        bool cut;
    } const cases[] = {
        {"ffmpeg_raw33x17",
         {.width = 33, .height = 17, .rateNum = 30000, .rateDen = 1001, .frames = 40},
         false},
        {"ffmpeg_dropped", {.width = 9, .height = 5, .frames = 30, .dropEvery = 4}, false},
        {"ffmpeg_truncated", {.width = 20, .height = 8, .frames = 30}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int w = c.o.width, h = c.o.height, drop = c.o.dropEvery;
        FfmpegVideoFiles files;
        Opened clip = OpenLastVideo(files, MakeClip(c.name, c.o, PaintExact, c.cut));
        ASSERT_TRUE(clip.reader);
        const VideoFileInfo info = clip.file->Info();
        EXPECT_EQ(std::vector<uint32_t>(
                      {info.dwStreams, info.dwWidth, info.dwHeight, info.dwRate, info.dwScale}),
                  std::vector<uint32_t>(
                      {1, uint32_t(w), uint32_t(h), uint32_t(c.o.rateNum), uint32_t(c.o.rateDen)}));
        const uint32_t length = clip.stream->Info().dwLength;
        EXPECT_TRUE(c.cut || length == static_cast<uint32_t>(c.o.frames)) << length;

        int delivered = 0;
        for (uint32_t n : WalkOrder(length, 100, TestSeed(c.name))) {
            const uint8_t* frame = clip.reader->GetFrame(n);
            ASSERT_TRUE(frame || c.cut) << n;
            if (!frame) continue;
            ++delivered;
            ASSERT_EQ(CheckExact(frame, Shown(n, drop), w, h), "") << n;
        }
        EXPECT_GT(delivered, 0);
        EXPECT_EQ(clip.reader->GetFrame(length), nullptr);
        EXPECT_EQ(clip.reader->GetFrame(0xFFFFFFFFu), nullptr);
        if (c.cut) continue;
        // The reader still works after refusing.
        const uint8_t* last = clip.reader->GetFrame(length - 1);
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(CheckExact(last, Shown(length - 1, drop), w, h), "");
    }
}

// A reader that reads only when asked may leave a frame it was only told to
// reach unconverted: asked for later, that frame still comes out exact, as
// does the one shown before, and only frames GetFrame gives can be reached.
TEST(FfmpegVideoFiles, FramesReachedOnDemandComeOutExactWhenAskedFor) {
    const int w = 20, h = 8;
    FfmpegVideoFiles files(FfmpegVideoFiles::Reading::OnDemand);
    Opened clip = OpenLastVideo(
        files,
        MakeClip("ffmpeg_reached", {.width = w, .height = h, .frames = 30}, PaintExact, true));
    ASSERT_TRUE(clip.reader);
    const uint32_t length = clip.stream->Info().dwLength;
    std::mt19937 rng(TestSeed("ffmpeg_reached"));
    uint32_t shown = length;  // the frame GetFrame gave last
    int given = 0;
    for (uint32_t n : WalkOrder(length, 200, TestSeed("ffmpeg_reached_walk"))) {
        const bool reached = clip.reader->ReachFrame(n);
        // Then the same frame, the one given last, or any other.
        const uint32_t choice = rng() % 3;
        const uint32_t asked = choice == 0                     ? n
                               : choice == 1 && shown < length ? shown
                                                               : rng() % length;
        const uint8_t* frame = clip.reader->GetFrame(asked);
        if (asked == n) {
            ASSERT_EQ(reached, frame != nullptr) << n;
        }
        ASSERT_TRUE(frame || asked != shown) << asked;
        if (!frame) continue;
        ASSERT_EQ(CheckExact(frame, static_cast<int>(asked), w, h), "") << n << " then " << asked;
        shown = asked;
        ++given;
    }
    EXPECT_GT(given, 0);
    EXPECT_FALSE(clip.reader->ReachFrame(length));
}

TEST(FfmpegVideoFiles, StreamsAreReportedInFileOrder) {
    ClipOptions o{.width = 40, .height = 30, .frames = 10, .audio = true};
    o.secondWidth = 24;
    o.secondHeight = 10;
    FfmpegVideoFiles files;
    auto file = files.Open(MakeClip("ffmpeg_two_video", o, PaintExact).c_str());
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

// A clip renamed over the path after the open: readers opened later still
// read the file that was opened.
TEST(FfmpegVideoFiles, ReadersReadTheOpenedFileWhateverThePathNamesLater) {
    const std::string path =
        MakeClip("ffmpeg_swapped", {.width = 20, .height = 8, .frames = 10}, PaintExact);
    const std::string other =
        MakeClip("ffmpeg_swapped_in", {.width = 24, .height = 10, .frames = 10}, PaintExact);
    FfmpegVideoFiles files;
    auto file = files.Open(path.c_str());
    ASSERT_TRUE(file);
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    auto reader = file->GetStream(0)->OpenFrameReader();
    ASSERT_TRUE(reader);
    EXPECT_EQ(CheckExact(reader->GetFrame(3), 3, 20, 8), "");
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
        ClipOptions o{.codec = c.codec, .width = kWidth, .height = kHeight, .frames = kFrames};
        o.maxBFrames = c.maxBFrames;
        o.dropEvery = c.dropEvery;
        std::string name = std::string("ffmpeg_ahead_") +
                           testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        const bool raw = c.codec == ClipCodec::RawBgr24;
        return MakeClip(name, o, raw ? PaintExact : PaintFrameStamp, c.cut);
    }

    // "" when the bitmap shows frame n: the picture before it for a dropped one.
    static std::string Shows(const uint8_t* frame, uint32_t n) {
        const AheadCase& c = GetParam();
        const int shown = Shown(n, c.dropEvery);
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
    Opened backwards = OpenLastVideo(files, path);
    ASSERT_TRUE(backwards.reader);
    ASSERT_EQ(backwards.stream->Info().dwLength, static_cast<uint32_t>(kFrames));
    // Every frame's bytes as read backwards; empty where none is delivered.
    std::vector<std::vector<uint8_t>> expected(kFrames);
    int delivered = 0;
    for (uint32_t n = kFrames; n-- > 0;)
        if (const uint8_t* frame = backwards.reader->GetFrame(n)) {
            expected[n].assign(frame, frame + kBytes);
            ++delivered;
        }
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
    std::mt19937 rng(TestSeed(GetParam().name));
    for (int i = 0; i < 12; ++i) play(rng() % kFrames, 1 + rng() % 4);

    // Paced as a tick's work, the reader fetches the next frame meanwhile;
    // asked for sooner than it can fetch, it only decodes the next while the
    // caller converts; asked at once, the caller does the work itself.
    for (const int pauseUs : {2000, 60, 0}) {
        SCOPED_TRACE(testing::Message() << "pause " << pauseUs << " us");
        Opened reader = OpenLastVideo(files, path);
        ASSERT_TRUE(reader.reader);
        for (size_t i = 0; i < order.size(); ++i) {
            const uint32_t n = order[i];
            const uint8_t* frame = reader.reader->GetFrame(n);
            ASSERT_EQ(Matches(frame, n, expected), "") << "call " << i << " frame " << n;
            std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
            ASSERT_EQ(Matches(frame, n, expected), "")
                << "changed after call " << i << " frame " << n;
        }
    }
}

TEST_P(FfmpegReadAhead, ReaderReleasedWhileReadingAhead) {
    FfmpegVideoFiles files;
    const std::string path = Clip();
    for (uint32_t stop = 0; stop < 12; ++stop) {
        Opened clip = OpenLastVideo(files, path);
        ASSERT_TRUE(clip.reader);
        // Paced like playback up to `stop`, so that the reader keeps reading
        // ahead; odd rounds then turn away from the frame being read ahead.
        std::vector<uint32_t> order;
        for (uint32_t n = 0; n <= stop; ++n) order.push_back(n);
        if (stop % 2) order.insert(order.end(), {stop / 2, stop / 2 + 1});
        for (size_t i = 0; i < order.size(); ++i) {
            const uint8_t* frame = clip.reader->GetFrame(order[i]);
            ASSERT_NE(frame, nullptr) << order[i];
            ASSERT_EQ(Shows(frame, order[i]), "") << order[i];
            if (i < stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        clip.reader.reset();  // the next frame is still being read
    }
}

// Readers kept open together share one thread for reading ahead: played in
// turns, each gets its own frames, and each may go, stream first, while its
// next frame is still queued or being read.
TEST_P(FfmpegReadAhead, ReadersOfOneStreamTakeTurnsOnOneWorker) {
    FfmpegVideoFiles files;
    const std::string path = Clip();
    for (int round = 0; round < 3; ++round) {
        Opened clip = OpenLastVideo(files, path);
        ASSERT_TRUE(clip.stream);
        std::vector<std::unique_ptr<IFrameReader>> readers;
        for (int k = 0; k < 3; ++k) {
            readers.push_back(clip.stream->OpenFrameReader(FrameReaderUse::OneOfSeveral));
            ASSERT_TRUE(readers.back());
        }
        for (uint32_t step = 0; step < 10; ++step) {
            for (uint32_t k = 0; k < readers.size(); ++k) {
                const uint32_t n = 10 * k + step;  // within a cut file's first half
                const uint8_t* frame = readers[k]->GetFrame(n);
                ASSERT_NE(frame, nullptr) << "reader " << k << " frame " << n;
                ASSERT_EQ(Shows(frame, n), "") << "reader " << k << " frame " << n;
            }
            if (step % 3 != 2) std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        if (round == 1) clip.stream.reset();
        // In another order each round, with work still under way for the rest.
        std::rotate(readers.begin(), readers.begin() + round, readers.end());
        while (!readers.empty()) readers.pop_back();
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, FfmpegReadAhead,
                         testing::Values(AheadCase{"raw", ClipCodec::RawBgr24, 0, 0, false},
                                         AheadCase{"raw_dropped", ClipCodec::RawBgr24, 0, 7, false},
                                         AheadCase{"raw_cut", ClipCodec::RawBgr24, 0, 0, true},
                                         AheadCase{"mjpeg_cut", ClipCodec::Mjpeg, 0, 0, true},
                                         AheadCase{"mpeg4_bframes", ClipCodec::Mpeg4, 2, 0, false},
                                         AheadCase{"mpeg1_bframes", ClipCodec::Mpeg1, 2, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
