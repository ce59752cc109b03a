#pragma once
// A frame view without a screen: keeps the frames presented to it, from any
// thread, and counts presents that came after it ended.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/FrameView.h"

class FakeFrameView final : public IFrameView {
public:
    FakeFrameView(int x, int y, int w, int h, bool bVisible, std::function<void()> onWindowEnd);

    void Present(const uint8_t* pBits, int nWidth, int nHeight) override;
    void Destroy() override;
    // What the window does when it ends with the view still standing.
    void EndWithWindow();

    // True once at least n frames have come, within a few seconds.
    bool WaitForFrames(int n) const;
    int Frames() const;
    // The last frame as presented: packed bottom-up rows.
    std::vector<uint8_t> LastFrame(int* pWidth = nullptr, int* pHeight = nullptr) const;
    bool Ended() const;
    int LatePresents() const;

    const int x, y, w, h;
    const bool bVisible;

private:
    std::function<void()> m_onWindowEnd;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    int m_nFrames = 0;
    int m_nLatePresents = 0;
    bool m_bEnded = false;
    std::vector<uint8_t> m_last;
    int m_nWidth = 0;
    int m_nHeight = 0;
};
