#pragma once
// The sending half of the liblo backend: a bounded queue and a thread that
// encodes each message with liblo and sends it as one UDP datagram.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/Osc.h"
#include "platform/ThrottledLog.h"
#include "platform/osc/OscQueue.h"

class OscSender {
public:
    // Messages go to host:port (a name is looked up on the sending thread).
    OscSender(const std::string& strHost, const std::string& strPort, size_t nQueueCapacity);
    // Sends what is still queued, unless the network refuses, then ends the thread.
    ~OscSender();

    OscSender(const OscSender&) = delete;
    OscSender& operator=(const OscSender&) = delete;

    // Never waits for the network.
    void Send(const OscMessage& msg);

    uint64_t Queued() const { return m_nQueued.load(std::memory_order_relaxed); }
    uint64_t Sent() const { return m_nSent.load(std::memory_order_relaxed); }
    uint64_t Failed() const { return m_nFailed.load(std::memory_order_relaxed); }
    uint64_t Dropped() const { return m_queue.Dropped(); }

private:
    void Run();
    bool SendNow(const OscMessage& msg);

    const std::string m_strTarget;  // host:port, for lines on standard error
    void* m_pAddress;               // lo_address, the sending thread's only
    OscQueue m_queue;
    ThrottledLog m_log;
    std::atomic<bool> m_bStopping{false};
    std::atomic<uint64_t> m_nQueued{0};
    std::atomic<uint64_t> m_nSent{0};
    std::atomic<uint64_t> m_nFailed{0};
    std::thread m_thread;
};
