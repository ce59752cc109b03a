// Detection in camera mode: the hand-over of the latest frame's red channel
// between threads, level rankings of a clip camera against clip mode's of the
// same frames, motion rankings, and a camera unplugged while it is ranked.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "detect/ChannelHandOver.h"
#include "detect/ShowWaveDlg.h"
#include "platform/clipcamera/ClipCapture.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/v4l2/V4l2Capture.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/fakes/FakeCapture.h"
#include "tests/fakes/FakeShowWindows.h"
#include "tests/fakes/RecordingOsc.h"
#include "tests/fakes/ScriptedV4l2Device.h"
#include "tests/fakes/SimulatedWaveOut.h"

namespace {

constexpr int W = 224;  // cells of 32 x 40
constexpr int H = 120;

template <typename Pred>
bool WaitFor(Pred pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A camera frame as the capture service hands it: packed bottom-up
// blue-green-red, red the cell's level and the others its opposite.
std::vector<uint8_t> CameraFrame(const CellLevelFn& level) {
    std::vector<uint8_t> topDown(size_t{W} * 3 * H);
    PaintCells(topDown.data(), W, H, level);
    std::vector<uint8_t> frame(topDown.size());
    for (int y = 0; y < H; ++y) {
        const uint8_t* src = &topDown[size_t{W} * 3 * y];
        uint8_t* dst = &frame[size_t{W} * 3 * (H - 1 - y)];
        for (int x = 0; x < W; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return frame;
}

// The cell numbers of the top, middle and bottom of the last ranking, from
// its message; empty before the first.
std::vector<int> LastRanking(const RecordingOsc& osc, int* pFrame = nullptr) {
    for (auto it = osc.sent.rbegin(); it != osc.sent.rend(); ++it) {
        if (it->strPath != "/zarn/rank") continue;
        if (pFrame) *pFrame = it->args[1].nValue;
        return {it->args[2].nValue, it->args[4].nValue, it->args[6].nValue};
    }
    return {};
}

// Frame ticks until one ranks, each after a frame from next when it is given.
std::vector<int> TickToRanking(FakeShowWindow* w, const RecordingOsc& osc, int* pFrame = nullptr,
                               const std::function<void(int)>& next = nullptr) {
    const size_t nBefore = osc.SentTexts("/zarn/rank").size();
    for (int k = 0; k < 200 && osc.SentTexts("/zarn/rank").size() == nBefore; ++k) {
        if (next) next(k);
        w->SendTimer(TIMER_FRAME);
    }
    return osc.SentTexts("/zarn/rank").size() > nBefore ? LastRanking(osc, pFrame)
                                                        : std::vector<int>{};
}

TEST(DetectCameraHandOver, NewestWholeFrameWinsAndTheReplacedAreCounted) {
    constexpr int w = 64, h = 48;
    CChannelHandOver handOver;
    ASSERT_TRUE(handOver.Allocate(w, h));
    std::vector<uint8_t> shortFrame(size_t{w} * 3 * h - 1, 7);
    handOver.Publish(shortFrame.data(), shortFrame.size());
    EXPECT_FALSE(handOver.Take());

    // Frames whose every byte is their number, from a thread faster than
    // the taker.
    std::atomic<bool> bStop{false};
    std::atomic<uint64_t> nPublished{0};
    std::thread camera([&] {
        std::vector<uint8_t> frame(size_t{w} * 3 * h);
        for (uint64_t k = 0; !bStop.load(); ++k) {
            std::fill(frame.begin(), frame.end(), static_cast<uint8_t>(k));
            handOver.Publish(frame.data(), frame.size());
            nPublished.store(k + 1);
        }
    });
    // Stops the camera even when an assertion below fails.
    struct Stopper {
        std::atomic<bool>& bStop;
        std::thread& thread;
        ~Stopper() {
            bStop.store(true);
            if (thread.joinable()) thread.join();
        }
    } stopper{bStop, camera};
    const auto whole = [&](const uint8_t* p, uint64_t n) {
        return p && std::all_of(p, p + w * h, [n](uint8_t b) { return b == uint8_t(n); });
    };
    uint64_t nLast = 0;
    for (int nTakes = 0; nTakes < 100;) {
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        if (!handOver.Take()) continue;
        const uint64_t n = handOver.LatestNumber();
        ASSERT_TRUE(whole(handOver.Latest(), n)) << n;
        if (nTakes++ > 0) {
            ASSERT_GT(n, nLast);
            ASSERT_TRUE(whole(handOver.Previous(), nLast)) << nLast;
        }
        nLast = n;
    }
    bStop.store(true);
    camera.join();

    // Once the camera is done, its newest frame comes once and nothing waits
    // behind it.
    handOver.Take();
    EXPECT_EQ(handOver.LatestNumber() + 1, nPublished.load());
    EXPECT_FALSE(handOver.Take());
    EXPECT_GT(handOver.Dropped(), 0u);
    EXPECT_EQ(handOver.Dropped() + handOver.Taken(), nPublished.load());
}

class DetectCameraLive : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetShowWindows(&windows);
        platform::SetWaveOut(&waveOut);
        platform::SetOsc(&osc);
        g_bDetectShowOpen = false;
        g_pDetectShow = nullptr;
        launcher.bUseCamera = 1;
        launcher.nCaptureDriver = 0;
    }
    void TearDown() override {
        if (g_pDetectShow) g_pDetectShow->CloseShow();
        platform::SetShowWindows(nullptr);
        platform::SetCapture(nullptr);
        platform::SetWaveOut(nullptr);
        platform::SetOsc(nullptr);
    }

    FakeShowWindow* Open() {
        g_bDetectShowOpen = true;
        g_pDetectShow = new CShowWaveDlg(&launcher);
        return g_pDetectShow->Create() ? windows.Last() : nullptr;
    }

    // The capture services outlive the window that TearDown closes.
    FfmpegVideoFiles ffmpeg;
    std::unique_ptr<ClipCapture> pClipCamera;
    FakeCapture fake;
    ScriptedV4l2Device device;
    V4l2Capture v4l2{device};
    FakeShowWindows windows;
    SimulatedWaveOut waveOut;
    RecordingOsc osc;
    TestLauncher launcher;
};

// Each frame's cells turned a step further, so that a frame mistaken for
// another, a picture upside down or another channel ranks differently.
uint8_t TurnedLevel(int frame, int row, int col) { return PermutedLevel(row, (col + frame) % 7); }

TEST_F(DetectCameraLive, LevelRanksClipCameraFramesAsClipModeRanksTheSameFrames) {
    constexpr int FRAMES = 7;
    ClipOptions options;
    options.width = W;
    options.height = H;
    options.frames = FRAMES;
    const std::string path = TestDataPath("camera-turning.avi");
    std::string error;
    ASSERT_TRUE(WriteClip(
        path, options,
        [](int f, uint8_t* rgb, int w, int h) {
            PaintCells(rgb, w, h, [f](int row, int col) { return TurnedLevel(f, row, col); });
        },
        &error))
        << error;

    // What clip mode ranks for each frame: its channel copy, ranked.
    platform::SetVideoFiles(&ffmpeg);
    std::map<int, std::vector<int>> clipRanks;
    {
        CAviControl avi;
        ASSERT_EQ(avi.Open(path.c_str()), 25.0);
        avi.SetSegment(0, "Full Stage", 0.0, 51.0);
        std::vector<uint8_t> channel(size_t{W} * H);
        for (int f = 0; f < FRAMES; ++f) {
            avi.ResetSegment(0);
            avi.SkipFrames(0, static_cast<uint32_t>(f));
            avi.GetFrameChannel(channel.data(), 0);
            CellScore cells[3];
            CShowWaveDlg::RankCells(channel.data(), W, H, 3, 7, cells);
            for (const CellScore& c : cells) clipRanks[f].push_back(c.nRow * 7 + c.nCol);
        }
    }
    platform::SetVideoFiles(nullptr);

    pClipCamera = std::make_unique<ClipCapture>(ffmpeg, path);
    platform::SetCapture(pClipCamera.get());
    launcher.nCameraDetect = CAMERA_DETECT_LEVEL;
    FakeShowWindow* w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->TimerPeriod(TIMER_FRAME), 40u);
    EXPECT_EQ(osc.SentTexts("/zarn/show/start"),
              std::vector<std::string>{"/zarn/show/start Clip camera (camera-turning.avi) 224 "
                                       "120 25"});

    std::vector<int> framesRanked;
    while (framesRanked.size() < 4) {
        const uint32_t nArrived = g_pDetectShow->CameraFrames();
        ASSERT_TRUE(WaitFor([&] { return g_pDetectShow->CameraFrames() > nArrived + 1; }));
        int nFrame = -1;
        const std::vector<int> ranked = TickToRanking(w, osc, &nFrame);
        ASSERT_GE(nFrame, 0);
        EXPECT_EQ(ranked, clipRanks[nFrame % FRAMES]) << "frame " << nFrame;
        framesRanked.push_back(nFrame % FRAMES);
    }
    std::sort(framesRanked.begin(), framesRanked.end());
    EXPECT_GT(std::unique(framesRanked.begin(), framesRanked.end()) - framesRanked.begin(), 1);
}

TEST_F(DetectCameraLive, MotionRanksTheCellThatChangesAndTiesWhenNothingMoves) {
    FakeCapture& capture = fake;
    capture.drivers[0] = FakeCaptureDriver{"Camera", "1.0", true, true, W, H, 33333};
    platform::SetCapture(&capture);
    launcher.nCameraDetect = CAMERA_DETECT_MOTION;
    FakeShowWindow* w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->TimerPeriod(TIMER_FRAME), 33u);
    EXPECT_EQ(capture.calls.front(), "CreateCaptureWindow Capture Window 40000000 0 0 720 480 0");

    // Cell (1, 5) flickers; cell (0, 2) is the brightest but still.
    const auto level = [](int nFlicker) {
        return [nFlicker](int row, int col) -> uint8_t {
            if (row == 0 && col == 2) return 250;
            if (row == 1 && col == 5) return nFlicker % 2 ? 200 : 40;
            return 100;
        };
    };
    const HCAPWND hCamera = capture.LastWindow();
    const std::vector<int> moving = TickToRanking(
        w, osc, nullptr, [&](int k) { capture.EmitFrame(hCamera, CameraFrame(level(k))); });
    ASSERT_FALSE(moving.empty());
    EXPECT_EQ(moving.front(), 12) << "the flickering cell ranks top";
    // The outline of the top cell lies at its place in the preview area.
    const auto& calls = w->recorder.calls;
    EXPECT_NE(std::find(calls.begin(), calls.end(), "MoveTo 160 40"), calls.end());

    const std::vector<uint8_t> still = CameraFrame(level(0));
    EXPECT_EQ(TickToRanking(w, osc, nullptr, [&](int) { capture.EmitFrame(hCamera, still); }),
              (std::vector<int>{0, 10, 20}));
}

TEST_F(DetectCameraLive, UnpluggedCameraEndsDetectionWithOneLineAndAClickStillCloses) {
    ScriptedCamera camera;
    camera.sizes = {{W, H}};
    device.AddCamera(0, camera);
    platform::SetCapture(&v4l2);
    launcher.nCameraDetect = CAMERA_DETECT_LEVEL;
    FakeShowWindow* w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->TimerPeriod(TIMER_FRAME), 30u);  // as the camera reports after asking

    std::vector<uint8_t> topDown(size_t{W} * 3 * H);
    PaintCells(topDown.data(), W, H, PermutedLevel);
    ASSERT_TRUE(device.Deliver(0, topDown));
    ASSERT_TRUE(WaitFor([&] { return g_pDetectShow->CameraFrames() >= 1; }));
    EXPECT_FALSE(TickToRanking(w, osc).empty());
    const int nPlays = w->TimerStarts(TIMER_PLAY);

    testing::internal::CaptureStderr();
    device.Unplug(0);
    EXPECT_TRUE(WaitFor([&] {
        w->SendTimer(TIMER_FRAME);
        return !w->HasTimer(TIMER_FRAME);
    }));
    for (int k = 0; k < 100; ++k) w->SendTimer(TIMER_FRAME);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(w->TimerStarts(TIMER_PLAY), nPlays);
    EXPECT_EQ(osc.SentTexts("/zarn/show/end").size(), 1u);

    w->SendRButtonDown(5, 5);
    EXPECT_EQ(g_pDetectShow, nullptr);
    EXPECT_EQ(osc.SentTexts("/zarn/show/end").size(), 1u);
    EXPECT_EQ(device.OpenDescriptors(), 0);
    EXPECT_EQ(device.Mappings(), 0);
}

}  // namespace
