#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fakes/FakeVideoFiles.h"
#include "tests/fakes/RecordingDeviceContext.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "video/AviControl.h"

namespace {

using Bytes = std::vector<uint8_t>;

FakeVideoStream Video(uint32_t length, int width, int height) {
    return {.dwLength = length, .nWidth = width, .nHeight = height, .missingFrames = {}};
}

const FakeVideoStream kAudio{.fccType = streamtypeAUDIO, .dwLength = 5000, .missingFrames = {}};

FakeVideoClip Clip(std::vector<FakeVideoStream> streams, uint32_t rate = 25, uint32_t scale = 1) {
    FakeVideoClip clip;
    clip.info.dwRate = rate;
    clip.info.dwScale = scale;
    for (const auto& s : streams) {
        if (s.fccType == streamtypeVIDEO && clip.info.dwWidth == 0) {
            clip.info.dwWidth = static_cast<uint32_t>(s.nWidth);
            clip.info.dwHeight = static_cast<uint32_t>(s.nHeight);
        }
    }
    clip.streams = std::move(streams);
    return clip;
}

// The bytes the fake delivers for a whole frame of one stream.
Bytes FramePixels(uint32_t stream, uint32_t frame, int w, int h) {
    Bytes out;
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x)
            for (int b = 0; b < 3; ++b)
                out.push_back(FakeVideoFiles::PixelByte(stream, frame, x, row, b));
    return out;
}

class AviControlTest : public testing::Test {
protected:
    void SetUp() override {
        platform::SetVideoFiles(&files);
        platform::SetMessageBox(&messages);
        files.AddClip("clip.avi", Clip({Video(1000, 6, 4)}));
    }
    void TearDown() override {
        platform::SetVideoFiles(nullptr);
        platform::SetMessageBox(nullptr);
    }

    FakeVideoFiles files;
    RecordingMessageBox messages;
};

TEST_F(AviControlTest, OpenFailures) {
    files.AddClip("audio.avi", Clip({kAudio, kAudio}));
    // The last video stream wins even when only an earlier one could be decoded.
    FakeVideoStream noDecoder = Video(100, 4, 4);
    noDecoder.bDecoder = false;
    files.AddClip("nodecoder.avi", Clip({Video(100, 4, 4), kAudio, noDecoder}));
    files.AddClip("nofirst.avi",
                  Clip({{.dwLength = 100, .nWidth = 4, .nHeight = 4, .missingFrames = {0}}}));

    struct {
        const char* path;
        size_t messagesShown;
    } const cases[] = {
        {"missing.avi", 0}, {"audio.avi", 1}, {"nodecoder.avi", 1}, {"nofirst.avi", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        messages.texts.clear();
        {
            CAviControl avi;
            EXPECT_EQ(avi.Open(c.path), 0.0);
            ASSERT_EQ(messages.texts.size(), c.messagesShown);
            if (c.messagesShown) {
                EXPECT_EQ(messages.texts[0], "Don't find codepack");
            }
        }
        EXPECT_EQ(files.LiveObjects(), 0);
    }
}

TEST_F(AviControlTest, DestructionAndReopeningReleaseTheClip) {
    {
        CAviControl avi;
        ASSERT_GT(avi.Open("clip.avi"), 0.0);
        EXPECT_EQ(files.state().liveReaders, 1);
        EXPECT_EQ(avi.Open("missing.avi"), 0.0);  // a failed open keeps the clip
        EXPECT_EQ(files.state().liveReaders, 1);
        ASSERT_GT(avi.Open("clip.avi"), 0.0);
        EXPECT_EQ(files.state().liveFiles, 1);
        EXPECT_EQ(files.state().liveReaders, 1);
    }
    EXPECT_EQ(files.LiveObjects(), 0);
}

TEST_F(AviControlTest, SegmentTimesAreClampedAndTruncated) {
    CAviControl avi;
    ASSERT_EQ(avi.Open("clip.avi"), 25.0);  // 1000 frames: 40 seconds
    struct {
        double start, end;
        uint32_t first, last;
    } const cases[] = {
        {-3.0, 2.0, 0, 50},        {10.0, 5.0, 250, 250}, {0.0, 51.0, 0, 1000},
        {45.0, 50.0, 1000, 1000},  {0.0, 13.99, 0, 349},  {14.0, 19.99, 350, 499},
        {39.99, 39.999, 999, 999},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " .. " << c.end);
        ASSERT_TRUE(avi.SetSegment(3, "seg", c.start, c.end));
        EXPECT_EQ(avi.Segment(3).dwFirstFrame, c.first);
        EXPECT_EQ(avi.Segment(3).dwLastFrame, c.last);
        EXPECT_EQ(avi.Segment(3).dwCursor, c.first);
    }
}

TEST_F(AviControlTest, SegmentIndicesAndNames) {
    CAviControl avi;
    ASSERT_GT(avi.Open("clip.avi"), 0.0);
    for (int i = 0; i < MAX_CLIP_SEGMENTS; ++i) ASSERT_TRUE(avi.SetSegment(i, "orig", 1.0, 2.0));
    EXPECT_FALSE(avi.SetSegment(-1, "x", 5.0, 6.0));
    EXPECT_FALSE(avi.SetSegment(20, "x", 5.0, 6.0));
    for (int i = 0; i < MAX_CLIP_SEGMENTS; ++i) {
        EXPECT_STREQ(avi.Segment(i).szName, "orig");
        EXPECT_EQ(avi.Segment(i).dwFirstFrame, 25u);
    }

    const std::string fits(127, 'a');
    EXPECT_TRUE(avi.SetSegment(4, fits.c_str(), 0.0, 1.0));
    EXPECT_EQ(std::string(avi.Segment(4).szName), fits);

    // Too long: refused, but the frame range is stored all the same.
    const std::string tooLong(128, 'b');
    EXPECT_FALSE(avi.SetSegment(4, tooLong.c_str(), 2.0, 3.0));
    EXPECT_EQ(std::string(avi.Segment(4).szName), fits);
    EXPECT_EQ(avi.Segment(4).dwFirstFrame, 50u);
    EXPECT_EQ(avi.Segment(4).dwLastFrame, 75u);
}

TEST_F(AviControlTest, DrawFrameWalksTheSegmentThenReportsItsEnd) {
    CAviControl avi;
    ASSERT_GT(avi.Open("clip.avi"), 0.0);
    ASSERT_TRUE(avi.SetSegment(1, "s", 2.0, 2.12));  // frames 50..53
    RecordingDeviceContext dc;
    std::vector<int> results;
    for (int i = 0; i < 7; ++i) results.push_back(avi.DrawFrame(1, &dc, 11, -7));
    EXPECT_EQ(results, (std::vector<int>{51, 52, 53, 54, -1, -1, -1}));
    ASSERT_EQ(dc.blits.size(), 4u);
    for (uint32_t i = 0; i < 4; ++i) {
        const auto& b = dc.blits[i];
        EXPECT_EQ(b.bits, FramePixels(0, 50 + i, 6, 4)) << i;
        EXPECT_EQ(std::vector<long long>({b.xDest, b.yDest, b.cxDest, b.cyDest, b.xSrc, b.ySrc,
                                          b.cxSrc, b.cySrc, b.header.biBitCount, b.header.biWidth,
                                          b.header.biHeight, b.rop}),
                  std::vector<long long>({11, -7, 6, 4, 0, 0, 6, 4, 24, 6, 4, SRCCOPY}));
    }

    avi.ResetSegment(1);
    EXPECT_EQ(avi.Segment(1).dwCursor, 50u);
    EXPECT_EQ(avi.DrawFrame(1, nullptr, 0, 0), 50);  // no surface: nothing moves
    EXPECT_EQ(avi.DrawFrame(1, &dc, 0, 0), 51);
    EXPECT_EQ(dc.blits.size(), 5u);

    // A frame that cannot be delivered is counted but not drawn.
    ASSERT_TRUE(avi.SetSegment(0, "Full Stage", 39.9, 51.0));  // 997..1000, 1000 does not exist
    results.clear();
    for (int i = 0; i < 5; ++i) results.push_back(avi.DrawFrame(0, &dc, 0, 0));
    EXPECT_EQ(results, (std::vector<int>{998, 999, 1000, 1001, -1}));
    EXPECT_EQ(dc.blits.size(), 8u);
}

TEST_F(AviControlTest, SkipFramesStaysWithinTheSegment) {
    CAviControl avi;
    ASSERT_GT(avi.Open("clip.avi"), 0.0);
    ASSERT_TRUE(avi.SetSegment(2, "s", 13.6, 13.99));  // 340..349
    std::vector<uint32_t> cursors;
    for (uint32_t skip : {10, 9, 1, 0}) {
        avi.SkipFrames(2, skip);
        cursors.push_back(avi.Segment(2).dwCursor);
    }
    EXPECT_EQ(cursors, (std::vector<uint32_t>{340, 349, 349, 349}));
}

TEST_F(AviControlTest, CopiesTakeTheFrameAtTheCursor) {
    CAviControl avi;
    ASSERT_GT(avi.Open("clip.avi"), 0.0);
    ASSERT_TRUE(avi.SetSegment(0, "s", 0.4, 1.0));  // from frame 10
    RecordingDeviceContext dc;
    ASSERT_EQ(avi.DrawFrame(0, &dc, 0, 0), 11);

    const Bytes frame = FramePixels(0, 11, 6, 4);
    Bytes expectedRgb(6 * 4 * 3), expectedRed(6 * 4), expectedRegion(3 * 2);
    CAviControl::FlipSwapCopy(frame.data(), expectedRgb.data(), 6, 4);
    CAviControl::ExtractChannel(frame.data(), expectedRed.data(), 6, 4, 1);
    CAviControl::ExtractChannelRegion(frame.data(), expectedRegion.data(), 6, 4, 2, 1, 5, 3, 1);

    Bytes rgb(expectedRgb.size()), red(expectedRed.size()), region(expectedRegion.size());
    avi.GetFrameRGB(rgb.data(), 0);
    avi.GetFrameChannel(red.data(), 0);
    avi.GetFrameRegion(region.data(), 0, 2, 1, 3, 2);
    EXPECT_EQ(rgb, expectedRgb);
    EXPECT_EQ(red, expectedRed);
    EXPECT_EQ(region, expectedRegion);
    EXPECT_EQ(avi.Segment(0).dwCursor, 11u);
    // The red copy is the frame's top row first: its first byte is byte 2 of
    // the last row in memory.
    EXPECT_EQ(red[0], FakeVideoFiles::PixelByte(0, 11, 0, 3, 2));

    // Regions reaching outside the frame and undeliverable frames copy nothing.
    Bytes untouched(200, 0xEE);
    avi.GetFrameRegion(untouched.data(), 0, 4, 0, 3, 1);
    avi.GetFrameRegion(untouched.data(), 0, -1, 0, 2, 1);
    avi.GetFrameRegion(untouched.data(), 0, 0, 2, 1, 3);
    ASSERT_TRUE(avi.SetSegment(5, "end", 40.0, 40.0));  // cursor 1000: past the stream
    avi.GetFrameRGB(untouched.data(), 5);
    avi.GetFrameChannel(untouched.data(), 5);
    avi.GetFrameRegion(untouched.data(), 5, 0, 0, 2, 2);
    EXPECT_EQ(untouched, Bytes(200, 0xEE));
}

}  // namespace
