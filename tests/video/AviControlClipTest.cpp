// CAviControl on real clips: the FFmpeg backend, the Qt surface and the
// message box together, as the program runs them.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <fstream>
#include <random>
#include <vector>

#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/qt/QtDeviceContext.h"
#include "tests/fakes/RecordingDeviceContext.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/support/ClipWriter.h"
#include "tests/support/TestSeed.h"
#include "video/AviControl.h"

namespace {

// Top-down RGB picture of frame n: exact through an uncompressed clip.
void Paint(int frame, uint8_t* rgb, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = rgb + (static_cast<size_t>(y) * w + x) * 3;
            p[0] = static_cast<uint8_t>(frame * 9 + x);
            p[1] = static_cast<uint8_t>(y * 11 + 1);
            p[2] = static_cast<uint8_t>(60 + x * y);
        }
}

std::vector<uint8_t> Painted(int frame, int w, int h) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    Paint(frame, rgb.data(), w, h);
    return rgb;
}

std::string MakeClip(const std::string& name, const ClipOptions& o) {
    const std::string path = TestDataPath(name);
    std::string error;
    EXPECT_TRUE(WriteClip(path, o, Paint, &error)) << error;
    return path;
}

// A small uncompressed clip whose headers declare frames of width x height.
std::string DeclaredSize(const std::string& name, uint32_t width, uint32_t height) {
    const std::string path = MakeClip(name, {.width = 16, .height = 8, .frames = 2});
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    // Main header: width and height 32 bytes into it; bitmap header: 4 bytes in.
    for (const auto& [tag, offset] : {std::pair{"avih", 32}, std::pair{"strf", 4}}) {
        const size_t at = bytes.find(tag);
        EXPECT_NE(at, std::string::npos) << tag;
        const uint32_t size[2] = {width, height};
        file.seekp(static_cast<std::streamoff>(at + 8 + offset));
        file.write(reinterpret_cast<const char*>(size), sizeof size);
    }
    return path;
}

// A small clip whose stream header list claims 1.5 GiB: libavformat would
// take the sizes of chunks inside it on trust.
std::string ListClaimsMore(const std::string& name) {
    const std::string path = MakeClip(name, {.width = 16, .height = 8, .frames = 2});
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    const size_t list = bytes.find("strl");
    EXPECT_NE(list, std::string::npos);
    const uint32_t claim = 0x60000000;
    file.seekp(static_cast<std::streamoff>(list - 4));
    file.write(reinterpret_cast<const char*>(&claim), sizeof claim);
    return path;
}

class AviControlClipTest : public testing::Test {
protected:
    void SetUp() override {
        platform::SetVideoFiles(&files);
        platform::SetMessageBox(&messages);
    }
    void TearDown() override {
        platform::SetVideoFiles(nullptr);
        platform::SetMessageBox(nullptr);
    }

    FfmpegVideoFiles files;
    RecordingMessageBox messages;
};

TEST_F(AviControlClipTest, FramesAreDrawnUnscaledOnAQtSurfaceUpToTheClipEnd) {
    static int argc = 1;
    static char name[] = "video_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;

    CAviControl avi;
    const ClipOptions o{.width = 13, .height = 7, .frames = 10};
    ASSERT_EQ(avi.Open(MakeClip("avi_qt13x7.avi", o).c_str()), 25.0);
    // Cut at the clip's length: frame 10, past the last, counts but is not drawn.
    ASSERT_TRUE(avi.SetSegment(0, "Full Stage", 0.0, 51.0));
    EXPECT_EQ(avi.Segment(0).dwLastFrame, 10u);

    struct {
        int x, y;
    } const places[] = {{10, 5}, {-4, -3}, {25, 15}};
    for (int frame = 0; frame < 3; ++frame) {
        const auto at = places[frame];
        SCOPED_TRACE(testing::Message() << "at " << at.x << "," << at.y);
        QImage image(30, 20, QImage::Format_RGB32);
        image.fill(Qt::black);
        QtDeviceContext dc(image);
        ASSERT_EQ(avi.DrawFrame(0, &dc, at.x, at.y), frame + 1);
        const std::vector<uint8_t> rgb = Painted(frame, 13, 7);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x) {
                const int fx = x - at.x, fy = y - at.y;
                QRgb want = qRgb(0, 0, 0);
                if (fx >= 0 && fy >= 0 && fx < 13 && fy < 7) {
                    const uint8_t* p = &rgb[(static_cast<size_t>(fy) * 13 + fx) * 3];
                    want = qRgb(p[0], p[1], p[2]);
                }
                ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, want & 0xFFFFFF) << x << "," << y;
            }
    }

    RecordingDeviceContext dc;
    std::vector<int> results;
    for (int i = 0; i < 9; ++i) results.push_back(avi.DrawFrame(0, &dc, 0, 0));
    EXPECT_EQ(results, (std::vector<int>{4, 5, 6, 7, 8, 9, 10, 11, -1}));
    EXPECT_EQ(dc.blits.size(), 7u);
}

// Only AVI files open as clips: a file of another format named .avi is no
// clip, and a playlist must not lead the reader to any other file. A clip's
// frames must be small enough to hold, and its headers no larger than the file.
TEST_F(AviControlClipTest, OpeningRealFiles) {
    const std::string empty = TestDataPath("avi_empty.avi");
    std::ofstream(empty, std::ios::trunc).close();
    const std::string playlist = TestDataPath("avi_playlist.avi");
    std::ofstream(playlist, std::ios::trunc)
        << "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\n"
        << MakeClip("avi_listed.avi", {.width = 16, .height = 8, .frames = 3})
        << "\n#EXT-X-ENDLIST\n";

    struct {
        std::string path;
        double fps;
        bool message;
        int width, height;
    } const cases[] = {
        {MakeClip("avi_ntsc.avi", {.rateNum = 30000, .rateDen = 1001, .frames = 3}),
         30000.0 / 1001.0, false, 64, 48},
        {MakeClip("avi_two.avi",
                  {.width = 20, .height = 10, .frames = 3, .secondWidth = 12, .secondHeight = 6}),
         25.0, false, 12, 6},
        {MakeClip("avi_audio.avi", {.audioOnly = true}), 0.0, true, 0, 0},
        {MakeClip(
             "avi_unknown.avi",
             {.codec = ClipCodec::Mjpeg, .frames = 3, .codecTag = MakeFourCC('Q', 'Q', 'Q', '1')}),
         0.0, true, 0, 0},
        {empty, 0.0, false, 0, 0},
        {playlist, 0.0, false, 0, 0},
        {MakeClip("avi_matroska.avi",
                  {.codec = ClipCodec::Mjpeg, .frames = 3, .container = "matroska"}),
         0.0, false, 0, 0},
        {MakeClip("avi_wave.avi", {.audioOnly = true, .container = "wav"}), 0.0, false, 0, 0},
        // Frames too large to hold are refused as a missing decoder is.
        {DeclaredSize("avi_16000.avi", 16000, 16000), 0.0, true, 0, 0},
        {DeclaredSize("avi_8193.avi", 8193, 2), 0.0, true, 0, 0},
        {DeclaredSize("avi_128mib.avi", 8192, 5462), 0.0, true, 0, 0},
        {MakeClip("avi_8192.avi", {.width = 8192, .height = 2, .frames = 2}), 25.0, false, 8192, 2},
        {ListClaimsMore("avi_claims.avi"), 0.0, false, 0, 0},
        {TestDataPath("avi_missing.avi"), 0.0, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        messages.texts.clear();
        CAviControl avi;
        EXPECT_DOUBLE_EQ(avi.Open(c.path.c_str()), c.fps);
        EXPECT_EQ(messages.texts, c.message ? std::vector<std::string>{"Don't find codepack"}
                                            : std::vector<std::string>{});
        if (c.fps > 0) {
            EXPECT_EQ(avi.GetWidth(), c.width);
            EXPECT_EQ(avi.GetHeight(), c.height);
        }
    }
}

// Damaged copies of small clips must never crash the reader or make it read
// outside a buffer; whatever frames come out are drawn and copied.
TEST_F(AviControlClipTest, CorruptedClipsAreReadWithoutHarm) {
    ClipOptions mpeg4{.codec = ClipCodec::Mpeg4, .width = 32, .height = 24, .frames = 16, .gop = 6};
    mpeg4.maxBFrames = 2;
    mpeg4.audio = true;
    const ClipOptions mjpeg{.codec = ClipCodec::Mjpeg, .width = 32, .height = 24, .frames = 16};
    const ClipOptions raw{.width = 10, .height = 6, .frames = 16};
    std::vector<std::vector<char>> originals;
    for (const auto& [name, o] :
         {std::pair{"avi_src_mpeg4.avi", mpeg4}, std::pair{"avi_src_mjpeg.avi", mjpeg},
          std::pair{"avi_src_raw.avi", raw}}) {
        std::ifstream in(MakeClip(name, o), std::ios::binary);
        originals.emplace_back(std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>());
        ASSERT_GT(originals.back().size(), 1000u);
    }

    std::mt19937 rng(TestSeed("corrupted clips"));
    const std::string path = TestDataPath("avi_corrupted.avi");
    int opened = 0;
    for (int copy = 0; copy < 300; ++copy) {
        std::vector<char> bytes = originals[copy % originals.size()];
        if (rng() % 3 == 0) {
            bytes.resize(rng() % bytes.size());
        } else {
            const int flips = 1 + static_cast<int>(rng() % 40);
            for (int i = 0; i < flips; ++i)
                bytes[rng() % bytes.size()] ^= static_cast<char>(1 + rng() % 255);
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

        CAviControl avi;
        if (avi.Open(path.c_str()) <= 0.0) continue;
        ++opened;
        ASSERT_GT(avi.GetWidth(), 0);
        ASSERT_GT(avi.GetHeight(), 0);
        std::vector<uint8_t> rgb(static_cast<size_t>(avi.GetWidth()) * avi.GetHeight() * 3);
        ASSERT_TRUE(avi.SetSegment(0, "all", 0.0, 1000.0));
        RecordingDeviceContext dc;
        for (int step = 0; step < 100 && avi.DrawFrame(0, &dc, 0, 0) >= 0; ++step) {
            avi.GetFrameChannel(rgb.data(), 0);
            avi.GetFrameRGB(rgb.data(), 0);
        }
        for (int jump = 0; jump < 5; ++jump) {
            ASSERT_TRUE(avi.SetSegment(1, "jump", (rng() % 100) / 100.0, 1000.0));
            avi.DrawFrame(1, &dc, -3, -3);
        }
        for (const auto& blit : dc.blits) {
            ASSERT_EQ(blit.header.biWidth, avi.GetWidth());
            ASSERT_EQ(blit.header.biHeight, avi.GetHeight());
        }
    }
    // Most damage leaves the clip readable in part; the walk above must have run.
    EXPECT_GT(opened, 30);
}

}  // namespace
