#pragma once
// The show-window host in virtual time (platform/VirtualShowWindows.h), with
// Qt drawing on images. Needs a QGuiApplication (the offscreen platform will
// do) for its fonts. A host that keeps no pictures draws nothing, needs no
// QGuiApplication, and its Picture is always null.

#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "platform/VirtualShowWindows.h"

class QtVirtualShowWindow;

class QtVirtualShowWindows final : public IVirtualShowWindows {
public:
    enum class Pictures { Kept, None };
    explicit QtVirtualShowWindows(Pictures pictures = Pictures::Kept);
    ~QtVirtualShowWindows() override;

    IShowWindow* Create(IShowWindowHandler& handler) override;
    int64_t NowMs() const override { return m_nowMs; }
    int64_t NextDueMs() const override;
    bool FireNext() override;
    void AdvanceTo(int64_t ms) override;
    const uint32_t* Picture(int& nWidth, int& nHeight, int& nStride) override;

    // The windows' timers.
    void Arm(QtVirtualShowWindow* pWnd, uintptr_t nIDEvent, unsigned nElapse);
    void Disarm(QtVirtualShowWindow* pWnd, uintptr_t nIDEvent);
    void DisarmAll(QtVirtualShowWindow* pWnd);

private:
    struct Timer {
        QtVirtualShowWindow* pWnd;
        uintptr_t nIDEvent;
        unsigned nElapse;
    };
    using Key = std::tuple<int64_t, uint64_t>;  // due time, order of arming

    void Reap();

    const bool m_bPictures;
    int64_t m_nowMs = 0;
    uint64_t m_nArmed = 0;
    int m_nDepth = 0;  // handler calls under way
    std::map<Key, Timer> m_timers;
    std::vector<std::unique_ptr<QtVirtualShowWindow>> m_windows;
};
