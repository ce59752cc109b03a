#include "platform/osc/OscQueue.h"

#include <utility>

OscQueue::OscQueue(size_t nCapacity) : m_slots(nCapacity > 0 ? nCapacity : 1) {}

bool OscQueue::Push(const OscMessage& msg) {
    bool bRoom = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_nCount == m_slots.size()) {
            m_nHead = (m_nHead + 1) % m_slots.size();
            --m_nCount;
            ++m_nDropped;
            bRoom = false;
        }
        // Assignment keeps the slot's string buffers: no allocation once
        // the slot has held a message as long.
        m_slots[(m_nHead + m_nCount) % m_slots.size()] = msg;
        ++m_nCount;
    }
    m_cv.notify_one();
    return bRoom;
}

bool OscQueue::PopLocked(OscMessage& msg) {
    if (m_nCount == 0) return false;
    OscMessage& slot = m_slots[m_nHead];
    // Swapped, not copied: both sides keep buffers for the next message.
    std::swap(msg.strPath, slot.strPath);
    std::swap(msg.strTypes, slot.strTypes);
    for (int i = 0; i < OSC_MAX_ARGS; ++i) std::swap(msg.args[i], slot.args[i]);
    m_nHead = (m_nHead + 1) % m_slots.size();
    --m_nCount;
    return true;
}

bool OscQueue::Pop(OscMessage& msg) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return PopLocked(msg);
}

bool OscQueue::WaitPop(OscMessage& msg) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return m_nCount > 0 || m_bClosed; });
    return PopLocked(msg);
}

void OscQueue::Close() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bClosed = true;
    }
    m_cv.notify_all();
}

size_t OscQueue::Size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nCount;
}

uint64_t OscQueue::Dropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nDropped;
}
