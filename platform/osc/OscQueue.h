#pragma once
// A bounded queue of OSC messages between threads. Its slots are made once,
// so pushing and popping copy into storage that is already there; a full
// queue makes room by dropping its oldest message.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/Osc.h"

class OscQueue {
public:
    explicit OscQueue(size_t nCapacity);

    // Adds a copy of msg behind the others; false when the oldest waiting
    // message had to go to make room for it.
    bool Push(const OscMessage& msg);
    // Takes the oldest message into msg; false when there is none.
    bool Pop(OscMessage& msg);
    // As Pop, but waits for a message; false only once Close has been
    // called and the queue is empty.
    bool WaitPop(OscMessage& msg);
    // Wakes every WaitPop; pushing still works.
    void Close();

    size_t Capacity() const { return m_slots.size(); }
    size_t Size() const;
    uint64_t Dropped() const;

private:
    bool PopLocked(OscMessage& msg);

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<OscMessage> m_slots;
    size_t m_nHead = 0;  // the oldest
    size_t m_nCount = 0;
    uint64_t m_nDropped = 0;
    bool m_bClosed = false;
};
