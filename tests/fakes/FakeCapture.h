#pragma once
// A capture service with a scripted driver list, for the detection window's
// tests: every call is recorded in order, a driver can refuse to connect or
// refuse the format, and frames reach the callback when the test emits them.

#include <map>
#include <string>
#include <vector>

#include "platform/Capture.h"

struct FakeCaptureDriver {
    std::string strName;
    std::string strVersion = "1.0.0";
    bool bConnects = true;
    bool bAcceptsFormat = true;
    int32_t nWidth = 320;
    int32_t nHeight = 240;
    uint32_t nFrameIntervalUs = 0;  // what a running preview reports
};

class FakeCapture final : public ICapture {
public:
    std::map<int, FakeCaptureDriver> drivers;
    bool bCanCreate = true;
    // "Name args" per call, IsWindow included.
    std::vector<std::string> calls;
    IShowWindow* pLastParent = nullptr;

    int GetDriverDescription(int nDriver, char* pszName, int cbName, char* pszVersion,
                             int cbVersion) override;
    HCAPWND CreateCaptureWindow(const char* pszName, uint32_t dwStyle, int x, int y, int w, int h,
                                IShowWindow* pParent, int nId) override;
    int IsWindow(HCAPWND h) override;
    int DriverConnect(HCAPWND h, int nDriver) override;
    int SetScale(HCAPWND h, int bScale) override;
    int SetPreviewRate(HCAPWND h, unsigned nMilliseconds) override;
    int GetVideoFormat(HCAPWND h, BITMAPINFO* pFormat, unsigned cbFormat) override;
    int SetVideoFormat(HCAPWND h, const BITMAPINFO* pFormat, unsigned cbFormat) override;
    int SetCallbackOnFrame(HCAPWND h, CaptureFrameProc proc) override;
    int SetPreview(HCAPWND h, int bPreview) override;
    int IsPreviewing(HCAPWND h) override;
    uint32_t GetFrameInterval(HCAPWND h) override;
    int DestroyWindow(HCAPWND h) override;

    // Calls window h's frame callback as its capture thread would, when it
    // previews; false when it does not. The frame is black, or the packed
    // bottom-up bytes given, which must be of the format's size.
    bool EmitFrame(HCAPWND h);
    bool EmitFrame(HCAPWND h, const std::vector<uint8_t>& frame);
    HCAPWND LastWindow() const { return m_hLast; }
    size_t LiveWindows() const { return m_windows.size(); }

private:
    struct Window {
        int nDriver = -1;
        CaptureFrameProc proc = nullptr;
        bool bPreview = false;
        std::vector<uint8_t> frame;
    };
    Window* Find(HCAPWND h);
    void Record(const std::string& call) { calls.push_back(call); }

    uintptr_t m_nLastHandle = 0;
    HCAPWND m_hLast = nullptr;
    std::map<HCAPWND, Window> m_windows;
};
