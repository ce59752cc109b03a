// libFuzzer entry: any bytes as an AVI clip, read from memory, opened by
// CAviControl and walked as the two show windows walk a clip: frames drawn
// one after another with the next one copied (so that the reader reads
// ahead), then jumps back and forth with region copies. Besides the
// sanitizers' own checks, a clip that opens has a frame size within the
// limits, and every frame drawn has that size and is read to its last byte.
#include <memory>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/support/FuzzCheck.h"
#include "video/AviControl.h"

namespace {

constexpr int WALK_FRAMES = 24;

// Every path opens the input being fuzzed.
class InputFiles final : public IVideoFiles {
public:
    std::unique_ptr<IVideoFile> Open(const char*) override { return m_ffmpeg.OpenMemory(pClip); }
    std::shared_ptr<const FfmpegMemoryClip> pClip;

private:
    FfmpegVideoFiles m_ffmpeg;
};

class QuietMessageBox final : public IMessageBox {
public:
    void Show(const char*) override {}
};

// Reads every pixel byte it is given, so a short frame shows up as a bad read.
class ReadingContext final : public IDeviceContext {
public:
    int StretchDIBits(int, int, int cxDest, int cyDest, int, int, int, int, const void* bits,
                      const BITMAPINFO* bmi, uint32_t, uint32_t) override {
        FuzzCheck(bmi->bmiHeader.biWidth == cxDest && bmi->bmiHeader.biHeight == cyDest,
                  "frames are drawn at the size Open reported");
        const auto* p = static_cast<const uint8_t*>(bits);
        const size_t bytes = static_cast<size_t>(cxDest) * cyDest * 3;
        for (size_t i = 0; i < bytes; ++i) nSum += p[i];
        return cyDest;
    }
    Pen SelectPen(const Pen& pen) override { return pen; }
    void MoveTo(int, int) override {}
    void LineTo(int, int) override {}
    void Rectangle(int, int, int, int) override {}
    COLORREF SetTextColor(COLORREF color) override { return color; }
    int SetBkMode(int mode) override { return mode; }
    Font SelectFont(const Font& font) override { return font; }
    void TextOut(int, int, std::string_view) override {}

    unsigned nSum = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static InputFiles files;
    static QuietMessageBox messages;
    platform::SetVideoFiles(&files);
    platform::SetMessageBox(&messages);
    files.pClip = std::make_shared<FfmpegMemoryClip>(std::vector<uint8_t>(data, data + size));

    CAviControl avi;
    if (avi.Open("clip.avi") <= 0.0) return 0;
    const int width = avi.GetWidth(), height = avi.GetHeight();
    FuzzCheck(width > 0 && height > 0 && static_cast<uint32_t>(width) <= VIDEO_MAX_FRAME_SIDE &&
                  static_cast<uint32_t>(height) <= VIDEO_MAX_FRAME_SIDE &&
                  uint64_t(width) * height * 3 <= VIDEO_MAX_FRAME_BYTES,
              "an open clip's frames are within the limits");
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    std::vector<uint8_t> channel(static_cast<size_t>(width) * height);

    ReadingContext dc;
    avi.SetSegment(0, "all", 0.0, 1e9);
    for (int i = 0; i < WALK_FRAMES && avi.DrawFrame(0, &dc, 0, 0) >= 0; ++i) {
        avi.GetFrameChannel(channel.data(), 0);
        if (i % 8 == 0) avi.GetFrameRGB(rgb.data(), 0);
    }
    for (const double at : {0.5, 0.0, 3.0, 0.04, 1e9}) {
        avi.SetSegment(1, "jump", at, 1e9);
        avi.DrawFrame(1, &dc, -width / 2, 0);
        avi.GetFrameRegion(channel.data(), 1, width / 4, height / 4, width / 2, height / 2);
    }
    return 0;
}
