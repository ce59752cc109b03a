#include "platform/qt/QtVirtualShowWindows.h"

#include <algorithm>
#include <climits>

#include "platform/qt/QtVirtualShowWindow.h"

QtVirtualShowWindows::QtVirtualShowWindows(Pictures pictures)
    : m_bPictures(pictures == Pictures::Kept) {}

// Windows still standing end with their host, as they would with their owner.
QtVirtualShowWindows::~QtVirtualShowWindows() {
    for (auto& pWnd : m_windows) pWnd->Destroy();
}

IShowWindow* QtVirtualShowWindows::Create(IShowWindowHandler& handler) {
    Reap();
    m_windows.push_back(std::make_unique<QtVirtualShowWindow>(*this, handler, m_bPictures));
    QtVirtualShowWindow* pWnd = m_windows.back().get();
    ++m_nDepth;
    const bool bStands = pWnd->Initialise();
    --m_nDepth;
    return bStands ? pWnd : nullptr;
}

int64_t QtVirtualShowWindows::NextDueMs() const {
    return m_timers.empty() ? INT64_MAX : std::get<0>(m_timers.begin()->first);
}

bool QtVirtualShowWindows::FireNext() {
    Reap();
    if (m_timers.empty()) return false;
    const auto first = m_timers.begin();
    const int64_t due = std::get<0>(first->first);
    const Timer timer = first->second;
    m_timers.erase(first);
    m_nowMs = std::max(m_nowMs, due);
    // A period of 0 would tick forever without time passing.
    m_timers.emplace(Key{due + std::max(timer.nElapse, 1u), m_nArmed++}, timer);
    ++m_nDepth;
    timer.pWnd->Tick(timer.nIDEvent);
    --m_nDepth;
    return true;
}

void QtVirtualShowWindows::AdvanceTo(int64_t ms) {
    m_nowMs = std::max(m_nowMs, std::min(ms, NextDueMs()));
}

const uint32_t* QtVirtualShowWindows::Picture(int& nWidth, int& nHeight, int& nStride) {
    if (!m_bPictures) return nullptr;
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
        if ((*it)->Destroyed()) continue;
        const QImage& surface = (*it)->Surface();
        nWidth = surface.width();
        nHeight = surface.height();
        nStride = static_cast<int>(surface.bytesPerLine() / sizeof(uint32_t));
        return reinterpret_cast<const uint32_t*>(surface.constBits());
    }
    return nullptr;
}

void QtVirtualShowWindows::Arm(QtVirtualShowWindow* pWnd, uintptr_t nIDEvent, unsigned nElapse) {
    Disarm(pWnd, nIDEvent);
    m_timers.emplace(Key{m_nowMs + std::max(nElapse, 1u), m_nArmed++},
                     Timer{pWnd, nIDEvent, nElapse});
}

void QtVirtualShowWindows::Disarm(QtVirtualShowWindow* pWnd, uintptr_t nIDEvent) {
    std::erase_if(m_timers, [&](const auto& entry) {
        return entry.second.pWnd == pWnd && entry.second.nIDEvent == nIDEvent;
    });
}

void QtVirtualShowWindows::DisarmAll(QtVirtualShowWindow* pWnd) {
    std::erase_if(m_timers, [&](const auto& entry) { return entry.second.pWnd == pWnd; });
}

// Destroyed windows go only here, never while a handler call runs.
void QtVirtualShowWindows::Reap() {
    if (m_nDepth > 0) return;
    std::erase_if(m_windows, [](const auto& pWnd) { return pWnd->Destroyed(); });
}
