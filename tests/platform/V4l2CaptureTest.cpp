// The V4L2 capture backend against scripted cameras: format negotiation,
// frames packed exactly whatever the camera's stride, cameras failing while
// they stream, windows closed while frames arrive; and the real libv4l2 on a
// machine without cameras.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/v4l2/V4l2Capture.h"
#include "tests/fakes/FakeShowWindow.h"
#include "tests/fakes/ScriptedV4l2Device.h"

namespace {

constexpr int CAMERA = 3;

// What reached the frame callback; the callback may run on the capture thread.
struct CallbackLog {
    std::mutex mutex;
    int nFrames = 0;
    int nLate = 0;  // calls after the window was closed
    bool bClosed = false;
    std::vector<uint8_t> last;
} g_log;

intptr_t RecordFrame(HCAPWND, VIDEOHDR* pHdr) {
    std::lock_guard<std::mutex> lock(g_log.mutex);
    g_log.nLate += g_log.bClosed;
    ++g_log.nFrames;
    g_log.last.assign(pHdr->lpData, pHdr->lpData + pHdr->dwBytesUsed);
    return 1;
}

struct IdleHandler final : IShowWindowHandler {
    void OnAttach(IShowWindow*) override {}
    int OnInitDialog() override { return 1; }
    void OnTimer(uintptr_t) override {}
};

// A packed top-down frame whose bytes differ from row to row and column to
// column.
std::vector<uint8_t> Pattern(uint32_t w, uint32_t h, int nSeed) {
    std::vector<uint8_t> frame(size_t{w} * 3 * h);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7 + nSeed);
    return frame;
}

// The frame as the backend packs it: bottom-up, rows from nRows on black.
std::vector<uint8_t> BottomUp(const std::vector<uint8_t>& frame, uint32_t w, uint32_t h,
                              uint32_t nRows) {
    std::vector<uint8_t> packed(frame.size(), 0);
    const size_t nRow = size_t{w} * 3;
    for (uint32_t y = 0; y < nRows; ++y)
        std::copy_n(frame.begin() + y * nRow, nRow, packed.begin() + (h - 1 - y) * nRow);
    return packed;
}

template <typename Pred>
bool WaitFor(Pred pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class V4l2CaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard<std::mutex> lock(g_log.mutex);
        g_log.nFrames = g_log.nLate = 0;
        g_log.bClosed = false;
        g_log.last.clear();
    }

    HCAPWND Create() {
        return capture.CreateCaptureWindow("Capture Window", WS_CHILD | WS_VISIBLE, 0, 0, 720, 480,
                                           &parent, 0);
    }

    // Connects the camera, asks for packed 24-bit at its own size; true when
    // accepted, and then the preview runs.
    bool Start(HCAPWND h, int32_t nWidth = 0, int32_t nHeight = 0) {
        if (!capture.DriverConnect(h, CAMERA)) return false;
        capture.SetPreviewRate(h, 30);
        BITMAPINFO format{};
        capture.GetVideoFormat(h, &format, sizeof(format));
        format.bmiHeader.biCompression = BI_RGB;
        if (nWidth) format.bmiHeader.biWidth = nWidth;
        if (nHeight) format.bmiHeader.biHeight = nHeight;
        if (!capture.SetVideoFormat(h, &format, sizeof(format))) return false;
        capture.SetCallbackOnFrame(h, RecordFrame);
        return capture.SetPreview(h, 1) != 0;
    }

    // A w x h camera whose preview runs; null when it does not.
    HCAPWND Preview(uint32_t w, uint32_t h, uint32_t nRowPadding = 0) {
        ScriptedCamera camera;
        camera.sizes = {{w, h}};
        camera.nRowPadding = nRowPadding;
        device.AddCamera(CAMERA, camera);
        const HCAPWND hWnd = Create();
        return Start(hWnd) ? hWnd : nullptr;
    }

    FakeFrameView& View() { return *parent.LastFrameView(); }

    void ExpectNothingOpen() {
        EXPECT_EQ(device.OpenDescriptors(), 0);
        EXPECT_EQ(device.Mappings(), 0);
    }

    ScriptedV4l2Device device;
    V4l2Capture capture{device};
    IdleHandler handler;
    FakeShowWindow parent{handler};
};

struct NegotiationCase {
    const char* name;
    ScriptedCamera camera;
    int32_t nWidth, nHeight;  // asked for; 0 for the camera's own
    bool bAccepted;
};
void PrintTo(const NegotiationCase& c, std::ostream* os) { *os << c.name; }

class V4l2Negotiation : public V4l2CaptureTest,
                        public ::testing::WithParamInterface<NegotiationCase> {};

TEST_P(V4l2Negotiation, AcceptsPacked24BitOnlyAtTheSizeAskedFor) {
    const NegotiationCase& c = GetParam();
    device.AddCamera(CAMERA, c.camera);
    const HCAPWND h = Create();
    ASSERT_TRUE(capture.IsWindow(h));
    EXPECT_EQ(View().w, 720);
    EXPECT_EQ(Start(h, c.nWidth, c.nHeight), c.bAccepted);

    BITMAPINFO format{};
    ASSERT_EQ(capture.GetVideoFormat(h, &format, sizeof(format)), 44);
    EXPECT_EQ(format.bmiHeader.biCompression == BI_RGB, c.camera.bConvertsToBgr24);
    EXPECT_EQ(device.Streaming(CAMERA), c.bAccepted);
    if (c.bAccepted) {
        EXPECT_EQ(format.bmiHeader.biBitCount, 24);
        EXPECT_EQ(format.bmiHeader.biWidth, 640);
        EXPECT_EQ(format.bmiHeader.biHeight, 480);
        EXPECT_EQ(device.FrameIntervalMs(CAMERA), 30u);
    }
    EXPECT_TRUE(capture.DestroyWindow(h));
    EXPECT_TRUE(View().Ended());
    ExpectNothingOpen();
}

ScriptedCamera NoConversion() {
    ScriptedCamera camera;
    camera.bConvertsToBgr24 = false;
    return camera;
}

INSTANTIATE_TEST_SUITE_P(Cameras, V4l2Negotiation,
                         ::testing::Values(NegotiationCase{"converts", {}, 0, 0, true},
                                           NegotiationCase{"cannot", NoConversion(), 0, 0, false},
                                           NegotiationCase{"other_size", {}, 500, 400, false}));

TEST_F(V4l2CaptureTest, OnlyFreeCapturingCamerasConnectOrAreListed) {
    ScriptedCamera busy;
    busy.bBusy = true;
    busy.strCard = "Busy";
    ScriptedCamera output;
    output.nCaps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING;
    ScriptedCamera free;
    free.strCard = "A rather long camera name that fills the card";
    device.AddCamera(1, busy);
    device.AddCamera(2, output);
    device.AddCamera(4, free);

    const HCAPWND h = Create();
    const int expected[] = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
    for (int n = -1; n <= MAX_CAPTURE_DRIVERS; ++n) {
        const int bCamera = n >= 0 && n < MAX_CAPTURE_DRIVERS ? expected[n] : 0;
        EXPECT_EQ(capture.DriverConnect(h, n), bCamera) << n;
        char szName[80] = "untouched", szVersion[80] = "";
        EXPECT_EQ(capture.GetDriverDescription(n, szName, 80, szVersion, 80), n == 1 || bCamera)
            << n;  // a busy camera is still installed
        if (n == 4) {
            EXPECT_STREQ(szName, "A rather long camera name that ");  // the card's 32 bytes
            EXPECT_STREQ(szVersion, "6.1.2");
        }
    }
    capture.DestroyWindow(h);
    ExpectNothingOpen();
}

struct StrideCase {
    uint32_t nPadding;
    uint32_t nBytesUsed;  // 0: the whole buffer
    uint32_t nWholeRows;
};
void PrintTo(const StrideCase& c, std::ostream* os) {
    *os << "pad " << c.nPadding << " used " << c.nBytesUsed;
}

class V4l2Stride : public V4l2CaptureTest, public ::testing::WithParamInterface<StrideCase> {};

TEST_P(V4l2Stride, FramesArePackedRowByRowForTheViewAndTheCallback) {
    const StrideCase& c = GetParam();
    const HCAPWND h = Preview(7, 5, c.nPadding);
    ASSERT_NE(h, nullptr);

    const std::vector<uint8_t> frame = Pattern(7, 5, 11);
    ASSERT_TRUE(device.Deliver(CAMERA, frame, c.nBytesUsed));
    ASSERT_TRUE(View().WaitForFrames(1));
    int w = 0, hgt = 0;
    const std::vector<uint8_t> shown = View().LastFrame(&w, &hgt);
    EXPECT_EQ(w, 7);
    EXPECT_EQ(hgt, 5);
    EXPECT_EQ(shown, BottomUp(frame, 7, 5, c.nWholeRows));
    capture.DestroyWindow(h);
    std::lock_guard<std::mutex> lock(g_log.mutex);
    EXPECT_EQ(g_log.last, shown);
}

// Rows of 21 bytes; a padded stride of 26; 60 bytes hold two padded rows and
// the start of a third; a count past the buffer is held to it.
INSTANTIATE_TEST_SUITE_P(Strides, V4l2Stride,
                         ::testing::Values(StrideCase{0, 0, 5}, StrideCase{5, 0, 5},
                                           StrideCase{5, 60, 2}, StrideCase{5, 26 * 2 + 21, 3},
                                           StrideCase{0, 100000, 5}));

enum class Fault { Unplugged, IoError, Silent };
void PrintTo(Fault f, std::ostream* os) {
    *os << (f == Fault::Unplugged ? "unplugged" : f == Fault::IoError ? "io_error" : "silent");
}

class V4l2Fault : public V4l2CaptureTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(V4l2Fault, PreviewStopsOnItsLastPictureWithOneLineAndClosesClean) {
    const HCAPWND h = Preview(16, 8);
    ASSERT_NE(h, nullptr);
    const std::vector<uint8_t> frame = Pattern(16, 8, 3);
    ASSERT_TRUE(device.Deliver(CAMERA, frame));
    ASSERT_TRUE(View().WaitForFrames(1));

    testing::internal::CaptureStderr();
    switch (GetParam()) {
        case Fault::Unplugged:
            device.Unplug(CAMERA);
            break;
        case Fault::IoError:
            device.FailNextDequeue(CAMERA, EIO);
            break;
        case Fault::Silent:
            device.Stall(CAMERA);
            break;
    }
    EXPECT_TRUE(WaitFor([&] { return !capture.IsPreviewing(h); }));
    // Frames after the fault are not taken.
    device.Deliver(CAMERA, Pattern(16, 8, 99));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("camera /dev/video3 ", 0), 0u) << err;

    EXPECT_EQ(View().Frames(), 1);
    EXPECT_EQ(View().LastFrame(), BottomUp(frame, 16, 8, 8));
    EXPECT_TRUE(capture.IsWindow(h));
    EXPECT_TRUE(capture.DestroyWindow(h));
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(Faults, V4l2Fault,
                         ::testing::Values(Fault::Unplugged, Fault::IoError, Fault::Silent));

// Closed by DestroyWindow, or by the show window ending with it.
class V4l2Close : public V4l2CaptureTest, public ::testing::WithParamInterface<bool> {};

TEST_P(V4l2Close, NoFrameReachesTheCallbackOrViewOnceClosed) {
    const HCAPWND h = Preview(32, 24);
    ASSERT_NE(h, nullptr);

    std::atomic<bool> bStop{false};
    std::thread camera_thread([&] {
        for (int seed = 0; !bStop.load(); ++seed) {
            device.Deliver(CAMERA, Pattern(32, 24, seed));
            std::this_thread::yield();
        }
    });
    EXPECT_TRUE(View().WaitForFrames(3));
    if (GetParam())
        EXPECT_TRUE(capture.DestroyWindow(h));
    else
        parent.Destroy();
    {
        std::lock_guard<std::mutex> lock(g_log.mutex);
        g_log.bClosed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    bStop.store(true);
    camera_thread.join();

    EXPECT_FALSE(capture.IsWindow(h));
    EXPECT_EQ(View().LatePresents(), 0);
    std::lock_guard<std::mutex> lock(g_log.mutex);
    EXPECT_EQ(g_log.nLate, 0);
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(Closers, V4l2Close, ::testing::Values(true, false));

int OpenDescriptorsOfProcess() {
    int n = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++n;
        closedir(dir);
    }
    return n;
}

TEST(V4l2RealCameras, TenIndicesProbedLeaveNothingOpen) {
    V4l2Capture capture;
    IdleHandler handler;
    FakeShowWindow parent(handler);
    const int nBefore = OpenDescriptorsOfProcess();
    const HCAPWND h =
        capture.CreateCaptureWindow("Capture Window", WS_CHILD, 0, 0, 720, 480, &parent, 0);
    for (int n = 0; n < MAX_CAPTURE_DRIVERS; ++n) {
        const std::string path = "/dev/video" + std::to_string(n);
        struct stat st;
        if (stat(path.c_str(), &st) == 0) continue;  // a real camera may be there
        char szName[80] = "", szVersion[80] = "";
        EXPECT_EQ(capture.GetDriverDescription(n, szName, 80, szVersion, 80), 0) << n;
        EXPECT_EQ(capture.DriverConnect(h, n), 0) << n;
    }
    capture.DestroyWindow(h);
    EXPECT_EQ(OpenDescriptorsOfProcess(), nBefore);
}

}  // namespace
