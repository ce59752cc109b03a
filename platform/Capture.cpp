#include "platform/Capture.h"

namespace {

// Used until a backend is installed: no driver, no window.
class NoCapture final : public ICapture {
public:
    int GetDriverDescription(int, char*, int, char*, int) override { return 0; }
    HCAPWND CreateCaptureWindow(const char*, uint32_t, int, int, int, int, IShowWindow*,
                                int) override {
        return nullptr;
    }
    int IsWindow(HCAPWND) override { return 0; }
    int DriverConnect(HCAPWND, int) override { return 0; }
    int SetScale(HCAPWND, int) override { return 0; }
    int SetPreviewRate(HCAPWND, unsigned) override { return 0; }
    int GetVideoFormat(HCAPWND, BITMAPINFO*, unsigned) override { return 0; }
    int SetVideoFormat(HCAPWND, const BITMAPINFO*, unsigned) override { return 0; }
    int SetCallbackOnFrame(HCAPWND, CaptureFrameProc) override { return 0; }
    int SetPreview(HCAPWND, int) override { return 0; }
    int DestroyWindow(HCAPWND) override { return 0; }
};

NoCapture g_noCapture;
ICapture* g_pCapture = &g_noCapture;

}  // namespace

namespace platform {

ICapture& Capture() { return *g_pCapture; }

void SetCapture(ICapture* service) { g_pCapture = service ? service : &g_noCapture; }

}  // namespace platform
