#pragma once
// One capture window on V4L2: a connected camera, its negotiated format, and
// while the preview runs, memory-mapped buffers and the thread that dequeues
// them, packs each frame, calls the frame callback and hands the frame to the
// window's view.

#include <linux/videodev2.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/CaptureDelivery.h"
#include "platform/CaptureWindow.h"
#include "platform/v4l2/V4l2Device.h"

class V4l2CaptureWindow final : public ICaptureWindow {
public:
    // bShown: the view is on the screen; a hidden one is handed no frames.
    V4l2CaptureWindow(IV4l2Device& device, IFrameView* pView, bool bShown, HCAPWND hWnd);
    // Stops the preview, closes the camera and ends the view if it still stands.
    ~V4l2CaptureWindow() override;

    V4l2CaptureWindow(const V4l2CaptureWindow&) = delete;
    V4l2CaptureWindow& operator=(const V4l2CaptureWindow&) = delete;

    // True for a device that captures video through streamed buffers; cap
    // holds what the device says of itself.
    static bool IsCamera(IV4l2Device& device, int fd, v4l2_capability& cap);
    static std::string DevicePath(int nDriver);

    bool Connect(int nDriver) override;
    bool GetFormat(BITMAPINFOHEADER& header) override;
    bool SetFormat(const BITMAPINFOHEADER& header) override;
    void SetPreviewRate(unsigned nMilliseconds) override { m_nPreviewRateMs = nMilliseconds; }
    void SetCallback(CaptureFrameProc proc) override { m_delivery.SetCallback(proc); }
    bool SetPreview(bool bPreview) override;
    bool Previewing() const override { return m_thread.joinable() && !m_bStop.load(); }
    // As the camera reported it when the preview started.
    uint32_t FrameIntervalUs() const override {
        return m_thread.joinable() ? m_nFrameIntervalUs : 0;
    }
    void ForgetView() override;

private:
    struct Buffer {
        void* p;
        size_t nLength;
    };

    void Disconnect();
    bool AskBgr24(uint32_t nWidth, uint32_t nHeight);
    void AskFrameInterval();
    uint32_t ReadFrameInterval();
    bool StartStream();
    void StopStream();
    void ReleaseBuffers();
    void Run();
    void Deliver(const Buffer& buffer, uint32_t nBytesUsed, uint32_t nTimeMs);
    void Fail(const char* pszWhat, int nError);

    IV4l2Device& m_device;
    CaptureDelivery m_delivery;
    std::atomic<bool> m_bStop{false};

    // Set on the user-interface thread while no capture thread runs; only
    // read by the capture thread while it runs.
    int m_fd = -1;
    int m_nDriver = -1;
    unsigned m_nPreviewRateMs = 0;
    uint32_t m_nFrameIntervalUs = 0;
    uint32_t m_nWidth = 0;
    uint32_t m_nHeight = 0;
    uint32_t m_nStride = 0;
    std::vector<Buffer> m_buffers;
    std::thread m_thread;

    // The capture thread's only while it runs.
    std::vector<uint8_t> m_frame;  // packed, bottom-up
};
