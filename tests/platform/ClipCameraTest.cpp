// The clip camera combined with scripted V4L2 cameras: listed at the first
// free driver index, it streams the clip's frames in order and looping at
// the clip's size and rate through the capture calls of a real camera, in a
// window that moved to it from the V4L2 backend when it connected.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/CombinedCapture.h"
#include "platform/clipcamera/ClipCapture.h"
#include "platform/v4l2/V4l2Capture.h"
#include "tests/fakes/FakeShowWindow.h"
#include "tests/fakes/FakeVideoFiles.h"
#include "tests/fakes/ScriptedV4l2Device.h"

namespace {

constexpr int W = 8;
constexpr int H = 6;
constexpr uint32_t FRAMES = 4;

struct FrameLog {
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> frames;
} g_frames;

intptr_t KeepFrame(HCAPWND, VIDEOHDR* pHdr) {
    std::lock_guard<std::mutex> lock(g_frames.mutex);
    g_frames.frames.emplace_back(pHdr->lpData, pHdr->lpData + pHdr->dwBytesUsed);
    return 1;
}

size_t FramesKept() {
    std::lock_guard<std::mutex> lock(g_frames.mutex);
    return g_frames.frames.size();
}

struct IdleHandler final : IShowWindowHandler {
    void OnAttach(IShowWindow*) override {}
    int OnInitDialog() override { return 1; }
    void OnTimer(uintptr_t) override {}
};

std::string Name(ICapture& capture, int n) {
    char szName[80] = "", szVersion[80] = "";
    return capture.GetDriverDescription(n, szName, 80, szVersion, 80) ? szName : "-";
}

TEST(ClipCamera, ListedAtTheFirstFreeIndexItStreamsTheClipInOrderAndLooping) {
    ScriptedV4l2Device device;
    ScriptedCamera camera;
    device.AddCamera(0, camera);
    ScriptedCamera metadata;
    metadata.nCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    device.AddCamera(1, metadata);
    device.AddCamera(2, camera);
    V4l2Capture cameras(device);
    FakeVideoFiles files;
    FakeVideoClip clip;
    clip.info = VideoFileInfo{0, W, H, 100, 1};
    clip.streams.push_back(FakeVideoStream{streamtypeAUDIO, 10, 0, 0, true, {}});
    clip.streams.push_back(FakeVideoStream{streamtypeVIDEO, FRAMES, W, H, true, {}});
    files.AddClip("/clips/stand-in.avi", clip);
    ClipCapture clipCamera(files, "/clips/stand-in.avi");
    CombinedCapture capture(cameras, clipCamera);

    EXPECT_EQ(Name(capture, 0), "Scripted Camera");
    EXPECT_EQ(Name(capture, 1), "Clip camera (stand-in.avi)");
    EXPECT_EQ(Name(capture, 2), "Scripted Camera");
    EXPECT_EQ(Name(capture, 3), "-");

    IdleHandler handler;
    FakeShowWindow parent(handler);
    const HCAPWND h = capture.CreateCaptureWindow("Capture Window", WS_CHILD | WS_VISIBLE, 0, 0,
                                                  720, 480, &parent, 0);
    ASSERT_TRUE(capture.IsWindow(h));
    FakeFrameView* pFirstView = parent.LastFrameView();
    ASSERT_TRUE(capture.DriverConnect(h, 1));
    EXPECT_TRUE(pFirstView->Ended());
    EXPECT_EQ(device.OpenDescriptors(), 0);

    BITMAPINFO format{};
    ASSERT_EQ(capture.GetVideoFormat(h, &format, sizeof(format)), 44);
    EXPECT_EQ(format.bmiHeader.biWidth, W);
    EXPECT_EQ(format.bmiHeader.biHeight, H);
    EXPECT_EQ(format.bmiHeader.biBitCount, 24);
    EXPECT_EQ(format.bmiHeader.biCompression, BI_RGB);
    BITMAPINFO other = format;
    other.bmiHeader.biWidth = 2 * W;
    EXPECT_FALSE(capture.SetVideoFormat(h, &other, sizeof(other)));
    ASSERT_TRUE(capture.SetVideoFormat(h, &format, sizeof(format)));
    capture.SetCallbackOnFrame(h, KeepFrame);
    EXPECT_FALSE(capture.IsPreviewing(h));
    ASSERT_TRUE(capture.SetPreview(h, 1));
    EXPECT_TRUE(capture.IsPreviewing(h));
    EXPECT_EQ(capture.GetFrameInterval(h), 10000u);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (FramesKept() < FRAMES + 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(parent.LastFrameView()->WaitForFrames(1));
    EXPECT_TRUE(capture.DestroyWindow(h));
    EXPECT_FALSE(capture.IsWindow(h));
    EXPECT_TRUE(parent.LastFrameView()->Ended());

    std::lock_guard<std::mutex> lock(g_frames.mutex);
    const size_t nKept = g_frames.frames.size();
    ASSERT_GE(nKept, FRAMES + 2);
    for (size_t k = 0; k < nKept; ++k) {
        const std::vector<uint8_t>& frame = g_frames.frames[k];
        ASSERT_EQ(frame.size(), size_t{W} * 3 * H);
        for (size_t i = 0; i < frame.size(); ++i) {
            const int x = static_cast<int>(i / 3 % W), row = static_cast<int>(i / 3 / W);
            ASSERT_EQ(frame[i], FakeVideoFiles::PixelByte(1, k % FRAMES, x, row, i % 3))
                << "frame " << k << " byte " << i;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(g_frames.frames.size(), nKept) << "frames after the window was destroyed";
}

TEST(ClipCamera, AClipWithoutPictureDoesNotConnectWithOneLine) {
    FakeVideoFiles files;
    FakeVideoClip clip;
    clip.streams.push_back(FakeVideoStream{streamtypeVIDEO, 3, W, H, false, {}});
    files.AddClip("no-decoder.avi", clip);
    IdleHandler handler;
    FakeShowWindow parent(handler);
    for (const char* path : {"missing.avi", "no-decoder.avi"}) {
        ClipCapture capture(files, path);
        const HCAPWND h =
            capture.CreateCaptureWindow("Capture Window", WS_CHILD, 0, 0, 720, 480, &parent, 0);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(capture.DriverConnect(h, 0)) << path;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind(std::string("Clip camera (") + path + "): ", 0), 0u) << err;
        EXPECT_FALSE(capture.SetPreview(h, 1));
        EXPECT_EQ(files.LiveObjects(), 0);
    }
}

}  // namespace
