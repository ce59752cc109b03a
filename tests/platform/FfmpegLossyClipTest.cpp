// Lossy clips deliver the frame asked for in every order, at widths in whole
// 8-pixel groups or not (the two ways frames are converted), and every frame
// up to a clip's last however its length falls against its keyframe and
// B-frame pattern: the last pictures come out of a drained decoder without
// timestamps, and the last keyframe in decode order may be shown after frames
// that come after it in the file.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/support/ClipWriter.h"
#include "tests/support/FrameStamp.h"
#include "tests/support/TestSeed.h"

namespace {

struct LossyCase {
    ClipCodec codec;
    int maxBFrames;
    int gop;
    int frames;
    int width = 176;
    int height = 48;
};

std::string CaseName(const LossyCase& c) {
    const char* codec = c.codec == ClipCodec::H264    ? "h264"
                        : c.codec == ClipCodec::Mpeg4 ? "mpeg4"
                        : c.codec == ClipCodec::Mpeg1 ? "mpeg1"
                                                      : "mjpeg";
    return std::string(codec) + "_b" + std::to_string(c.maxBFrames) + "_gop" +
           std::to_string(c.gop) + "_" + std::to_string(c.frames) + "_w" + std::to_string(c.width) +
           (c.height != 48 ? "_h" + std::to_string(c.height) : "");
}

void PrintTo(const LossyCase& c, std::ostream* os) { *os << CaseName(c); }

class FfmpegLossyClip : public testing::TestWithParam<LossyCase> {
protected:
    void SetUp() override {
        const LossyCase& c = GetParam();
        ClipOptions o{.codec = c.codec, .width = c.width, .height = c.height, .frames = c.frames};
        o.gop = c.gop;
        o.maxBFrames = c.maxBFrames;
        // A clip of each test's own, so that parallel runs never share a file.
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        m_path = TestDataPath("ffmpeg_lossy_" + name + ".avi");
        std::string error;
        if (!WriteClip(m_path, o, PaintFrameStamp, &error)) {
            if (c.codec == ClipCodec::H264) GTEST_SKIP() << error;
            FAIL() << error;
        }
        m_file = m_files.Open(m_path.c_str());
        ASSERT_TRUE(m_file);
        m_stream = m_file->GetStream(0);
        ASSERT_TRUE(m_stream);
        ASSERT_EQ(m_stream->Info().dwLength, static_cast<uint32_t>(c.frames));
    }

    std::unique_ptr<IFrameReader> Reader() { return m_stream->OpenFrameReader(); }

    // Fetches the frames in order; "" when each shows its own number, else
    // every frame that did not, with what it gave (-2 for none).
    static std::string Walk(IFrameReader& reader, const std::vector<uint32_t>& order) {
        std::string wrong;
        for (uint32_t n : order) {
            const uint8_t* frame = reader.GetFrame(n);
            const int got =
                frame ? ReadFrameStamp(frame + 40, GetParam().width, GetParam().height) : -2;
            if (got != static_cast<int>(n))
                wrong += " " + std::to_string(n) + ":" + std::to_string(got);
        }
        return wrong;
    }

    static std::vector<uint32_t> Range(uint32_t from, uint32_t to) {
        std::vector<uint32_t> order;
        for (uint32_t n = from; n < to; ++n) order.push_back(n);
        return order;
    }

    FfmpegVideoFiles m_files;
    std::string m_path;
    std::unique_ptr<IVideoFile> m_file;
    std::unique_ptr<IVideoStream> m_stream;
};

// Forward into the end twice: straight through, and as the detection window
// plays (n, n again, then n + 1) with the reader fetching the next frame on
// its own thread meanwhile; then backward.
TEST_P(FfmpegLossyClip, ForwardPacedAndBackwardReachEveryFrame) {
    const uint32_t length = GetParam().frames;
    auto forward = Reader(), paced = Reader(), backward = Reader();
    ASSERT_TRUE(forward && paced && backward);
    EXPECT_EQ(Walk(*forward, Range(0, length)), "");
    EXPECT_EQ(forward->GetFrame(length), nullptr);

    std::string wrong;
    for (uint32_t n = length - 16; n < length; ++n)
        for (int again = 0; again < 2; ++again) {
            wrong += Walk(*paced, {n});
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    EXPECT_EQ(wrong, "");
    EXPECT_EQ(paced->GetFrame(length), nullptr);

    std::vector<uint32_t> order = Range(0, length);
    std::reverse(order.begin(), order.end());
    EXPECT_EQ(Walk(*backward, order), "");
    EXPECT_EQ(backward->GetFrame(length), nullptr);
}

TEST_P(FfmpegLossyClip, JumpsToTheLastFramesThenReadsOn) {
    const uint32_t length = GetParam().frames;
    for (uint32_t from = length - 6; from < length; ++from) {
        auto reader = Reader();
        ASSERT_TRUE(reader);
        EXPECT_EQ(Walk(*reader, Range(from, length)), "") << "from " << from;
        EXPECT_EQ(reader->GetFrame(length), nullptr) << "from " << from;
        // Back from the end, to each of the last frames in turn.
        std::vector<uint32_t> order;
        for (uint32_t n = from; n < length; ++n) order.insert(order.end(), {n, length - 1});
        EXPECT_EQ(Walk(*reader, order), "") << "from " << from;
    }
}

TEST_P(FfmpegLossyClip, RandomFetchesDeliverTheFrameAskedFor) {
    auto reader = Reader();
    ASSERT_TRUE(reader);
    std::mt19937 rng(TestSeed(CaseName(GetParam()).c_str()));
    std::vector<uint32_t> order;
    for (int i = 0; i < 200; ++i) order.push_back(rng() % GetParam().frames);
    EXPECT_EQ(Walk(*reader, order), "");

    // Blue-green-red order: the red block reads red in byte 2.
    double bgr[3];
    ReadStampRed(reader->GetFrame(5) + 40, GetParam().width, GetParam().height, bgr);
    EXPECT_GT(bgr[2], 200);
    EXPECT_LT(bgr[0], 60);
    EXPECT_LT(bgr[1], 60);
}

// What a jump to each frame costs, as the index and the headers tell: one
// picture for every frame of a clip of keyframes alone; otherwise one at
// each keyframe and one more for each frame after it; and where pictures
// are reordered (B-frames, or MPEG-1, whose decoder holds pictures back
// whatever the clip holds), so that a jump starts a group further back, one
// only at the first frame.
TEST_P(FfmpegLossyClip, AJumpCostsOnePictureOnlyWhereASeekLandsOnTheFrame) {
    auto reader = Reader();
    ASSERT_TRUE(reader);
    const LossyCase& c = GetParam();
    const auto frames = static_cast<uint32_t>(c.frames);
    const bool reorders = c.maxBFrames > 0 || c.codec == ClipCodec::Mpeg1;
    EXPECT_EQ(reader->JumpCost(frames), 0u);
    std::string wrong;
    uint32_t highestCost = 0;
    for (uint32_t n = 0; n < frames; ++n) {
        const uint32_t cost = reader->JumpCost(n);
        highestCost = std::max(highestCost, cost);
        uint32_t lowest = 1, highest = 1;
        if (c.codec != ClipCodec::Mjpeg && n > 0) {
            const uint32_t before = reader->JumpCost(n - 1);
            highest = before + 1;
            lowest = reorders ? 2 : cost == 1 ? 1 : before + 1;
        }
        if (cost < lowest || cost > highest)
            wrong += " " + std::to_string(n) + ":" + std::to_string(cost);
    }
    EXPECT_EQ(wrong, "");
    EXPECT_EQ(highestCost > 1, c.codec != ClipCodec::Mjpeg);
}

std::vector<LossyCase> LossyCases() {
    std::vector<LossyCase> cases;
    // Lengths on both sides of the keyframes at 60 and 72 (48 for H.264).
    for (int frames : {58, 59, 60, 61, 62, 71, 72, 73, 74, 75}) {
        cases.push_back({ClipCodec::Mpeg4, 2, 12, frames});
        cases.push_back({ClipCodec::Mpeg4, 0, 12, frames});
    }
    for (int frames : {47, 48, 49, 50, 75}) cases.push_back({ClipCodec::H264, 3, 24, frames});
    // MPEG-1 keyframes open their group: the two B-frames after one in the
    // file are shown before it.
    for (int frames : {59, 60, 61, 62, 73, 75}) cases.push_back({ClipCodec::Mpeg1, 2, 12, frames});
    cases.push_back({ClipCodec::Mpeg1, 0, 12, 75});
    cases.push_back({ClipCodec::Mpeg4, 2, 5, 75, 162});
    cases.push_back({ClipCodec::Mjpeg, 0, 12, 75, 170});
    cases.push_back({ClipCodec::Mjpeg, 0, 12, 75});
    // Large enough that a reader alone decodes two frames at once.
    cases.push_back({ClipCodec::Mpeg4, 2, 12, 75, 1280, 720});
    cases.push_back({ClipCodec::H264, 3, 24, 75, 1280, 720});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Clips, FfmpegLossyClip, testing::ValuesIn(LossyCases()),
                         [](const auto& info) { return CaseName(info.param); });

}  // namespace
