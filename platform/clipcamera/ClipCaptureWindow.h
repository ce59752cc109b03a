#pragma once
// One capture window of the clip camera: the connected clip, and while the
// preview runs, the thread that reads its frames in order at the clip's
// rate, calls the frame callback and hands each frame to the window's view.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/CaptureDelivery.h"
#include "platform/CaptureWindow.h"
#include "platform/VideoFile.h"

class ClipCaptureWindow final : public ICaptureWindow {
public:
    // strPath: the clip, strName: the camera's name. bShown: the view is on
    // the screen; a hidden one is handed no frames.
    ClipCaptureWindow(IVideoFiles& files, std::string strPath, std::string strName,
                      IFrameView* pView, bool bShown, HCAPWND hWnd);
    // Stops the preview and ends the view if it still stands.
    ~ClipCaptureWindow() override;

    ClipCaptureWindow(const ClipCaptureWindow&) = delete;
    ClipCaptureWindow& operator=(const ClipCaptureWindow&) = delete;

    // Driver 0 opens the clip; false, with one line on standard error, when
    // it has no picture to deliver.
    bool Connect(int nDriver) override;
    bool GetFormat(BITMAPINFOHEADER& header) override;
    // Only the clip's own size and coding.
    bool SetFormat(const BITMAPINFOHEADER& header) override;
    void SetCallback(CaptureFrameProc proc) override { m_delivery.SetCallback(proc); }
    bool SetPreview(bool bPreview) override;
    bool Previewing() const override { return m_thread.joinable() && !m_bFailed.load(); }
    uint32_t FrameIntervalUs() const override { return m_thread.joinable() ? m_nIntervalUs : 0; }
    void ForgetView() override;

private:
    void Disconnect();
    void StopPreview();
    void Run();
    void Deliver(const uint8_t* pPixels, uint32_t nTimeMs);

    IVideoFiles& m_files;
    const std::string m_strPath;
    const std::string m_strName;
    CaptureDelivery m_delivery;
    std::atomic<bool> m_bFailed{false};

    // Set on the user-interface thread while no preview thread runs; only
    // read by that thread while it runs.
    std::unique_ptr<IVideoFile> m_pFile;
    std::unique_ptr<IVideoStream> m_pStream;
    std::unique_ptr<IFrameReader> m_pReader;  // used by the preview thread while it runs
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    uint32_t m_nFrames = 0;
    uint32_t m_nIntervalUs = 0;
    std::thread m_thread;

    // The stop request, with its own lock so that a wait between frames ends
    // at once.
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bStop = false;

    // The preview thread's only while it runs.
    std::vector<uint8_t> m_frame;  // packed, bottom-up
};
