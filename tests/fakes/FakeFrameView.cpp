#include "tests/fakes/FakeFrameView.h"

#include <chrono>
#include <utility>

FakeFrameView::FakeFrameView(int x_, int y_, int w_, int h_, bool bVisible_,
                             std::function<void()> onWindowEnd)
    : x(x_), y(y_), w(w_), h(h_), bVisible(bVisible_), m_onWindowEnd(std::move(onWindowEnd)) {}

void FakeFrameView::Present(const uint8_t* pBits, int nWidth, int nHeight) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bEnded) {
        ++m_nLatePresents;
        return;
    }
    m_last.assign(pBits, pBits + static_cast<size_t>(nWidth) * 3 * static_cast<size_t>(nHeight));
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    ++m_nFrames;
    m_cv.notify_all();
}

void FakeFrameView::Destroy() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bEnded = true;
    m_onWindowEnd = nullptr;
}

void FakeFrameView::EndWithWindow() {
    std::function<void()> onEnd;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bEnded) return;
        onEnd = std::exchange(m_onWindowEnd, nullptr);
    }
    if (onEnd) onEnd();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bEnded = true;
}

bool FakeFrameView::WaitForFrames(int n) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_nFrames >= n; });
}

int FakeFrameView::Frames() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nFrames;
}

std::vector<uint8_t> FakeFrameView::LastFrame(int* pWidth, int* pHeight) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (pWidth) *pWidth = m_nWidth;
    if (pHeight) *pHeight = m_nHeight;
    return m_last;
}

bool FakeFrameView::Ended() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bEnded;
}

int FakeFrameView::LatePresents() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nLatePresents;
}
