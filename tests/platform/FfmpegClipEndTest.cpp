// Every frame up to a clip's last, however the clip's length falls against
// its keyframe and B-frame pattern: the last pictures come out of a drained
// decoder without timestamps, and the last keyframe in decode order may be
// shown after frames that come after it in the file.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/support/ClipWriter.h"
#include "tests/support/FrameStamp.h"

namespace {

constexpr int kWidth = 176, kHeight = 48;

struct EndCase {
    ClipCodec codec;
    int maxBFrames;
    int gop;
    int frames;
};

std::string CaseName(const EndCase& c) {
    const char* codec = c.codec == ClipCodec::H264 ? "h264" : "mpeg4";
    return std::string(codec) + "_b" + std::to_string(c.maxBFrames) + "_gop" +
           std::to_string(c.gop) + "_" + std::to_string(c.frames);
}

void PrintTo(const EndCase& c, std::ostream* os) { *os << CaseName(c); }

class FfmpegClipEnd : public testing::TestWithParam<EndCase> {
protected:
    void SetUp() override {
        const EndCase& c = GetParam();
        ClipOptions o;
        o.codec = c.codec;
        o.maxBFrames = c.maxBFrames;
        o.gop = c.gop;
        o.width = kWidth;
        o.height = kHeight;
        o.frames = c.frames;
        m_path = TestDataPath("ffmpeg_end_" + CaseName(c) + ".avi");
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
            const int got = frame ? ReadFrameStamp(frame + 40, kWidth, kHeight) : -2;
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

TEST_P(FfmpegClipEnd, ForwardAndBackwardReachEveryFrame) {
    const uint32_t length = GetParam().frames;
    auto forward = Reader();
    ASSERT_TRUE(forward);
    EXPECT_EQ(Walk(*forward, Range(0, length)), "");
    EXPECT_EQ(forward->GetFrame(length), nullptr);

    auto backward = Reader();
    ASSERT_TRUE(backward);
    std::vector<uint32_t> order = Range(0, length);
    std::reverse(order.begin(), order.end());
    EXPECT_EQ(Walk(*backward, order), "");
    EXPECT_EQ(backward->GetFrame(length), nullptr);
}

TEST_P(FfmpegClipEnd, JumpsToTheLastFramesThenReadsOn) {
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

// As the detection window plays: n, n again, then n + 1, with the reader
// fetching the next frame on its own thread meanwhile, into the end.
TEST_P(FfmpegClipEnd, PlaybackReadsAheadIntoTheEnd) {
    const uint32_t length = GetParam().frames;
    auto reader = Reader();
    ASSERT_TRUE(reader);
    std::string wrong;
    for (uint32_t n = length - 16; n < length; ++n)
        for (int again = 0; again < 2; ++again) {
            wrong += Walk(*reader, {n});
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    EXPECT_EQ(wrong, "");
    EXPECT_EQ(reader->GetFrame(length), nullptr);
}

std::vector<EndCase> EndCases() {
    std::vector<EndCase> cases;
    // Lengths on both sides of the keyframes at 60 and 72 (48 for H.264).
    for (int frames : {58, 59, 60, 61, 62, 71, 72, 73, 74, 75}) {
        cases.push_back({ClipCodec::Mpeg4, 2, 12, frames});
        cases.push_back({ClipCodec::Mpeg4, 0, 12, frames});
    }
    for (int frames : {47, 48, 49, 50}) cases.push_back({ClipCodec::H264, 3, 24, frames});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Lengths, FfmpegClipEnd, testing::ValuesIn(EndCases()),
                         [](const auto& info) { return CaseName(info.param); });

}  // namespace
