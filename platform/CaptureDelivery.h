#pragma once
// Where a capture window's frames go from its capture thread: to the frame
// callback, then to the window's view when that is on the screen.

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/Capture.h"

class IFrameView;

class CaptureDelivery {
public:
    // pView: ended by this unless forgotten first. bShown: the view is on the
    // screen; a hidden one is handed no frames.
    CaptureDelivery(HCAPWND hWnd, IFrameView* pView, bool bShown);
    ~CaptureDelivery();

    CaptureDelivery(const CaptureDelivery&) = delete;
    CaptureDelivery& operator=(const CaptureDelivery&) = delete;

    void SetCallback(CaptureFrameProc proc) { m_callback.store(proc); }
    // frame: packed bottom-up 24-bit, nWidth x nHeight.
    void Deliver(std::vector<uint8_t>& frame, int nWidth, int nHeight, uint32_t nTimeMs);
    // The view went with its window. Only while no Deliver runs.
    void ForgetView() { m_pView = nullptr; }

private:
    const HCAPWND m_hWnd;
    std::atomic<CaptureFrameProc> m_callback{nullptr};
    // Set on the user-interface thread while no capture thread runs; only
    // read by that thread while it runs.
    IFrameView* m_pView;
    const bool m_bShown;
};
