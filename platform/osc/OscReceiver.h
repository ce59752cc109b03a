#pragma once
// The receiving half of the liblo backend: a UDP socket bound to one
// address, a thread that decodes each datagram with liblo, and a bounded
// inbox that the user-interface thread empties through posted calls.
//
// liblo's own servers always bind every interface; listening on loopback
// only takes a socket of our own, so liblo decodes and we receive.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Osc.h"
#include "platform/ThrottledLog.h"

// Runs a call on the user-interface thread, later, from any thread.
using OscPost = std::function<void(std::function<void()>)>;

class OscReceiver {
public:
    // Binds strAddr:strPort ("0": any free port). On failure one line goes to
    // standard error and Listening() is false.
    OscReceiver(const std::string& strAddr, const std::string& strPort, OscPost post,
                size_t nInboxCapacity);
    ~OscReceiver();

    OscReceiver(const OscReceiver&) = delete;
    OscReceiver& operator=(const OscReceiver&) = delete;

    bool Listening() const { return m_fd >= 0; }
    uint16_t Port() const { return m_nPort; }
    // User-interface thread only.
    void SetListener(IOscListener* pListener);

    uint64_t Received() const;
    uint64_t Dropped() const;
    uint64_t Malformed() const { return m_nMalformed.load(std::memory_order_relaxed); }

private:
    struct Inbox;
    struct Source;

    void Run();
    void Take(const uint8_t* pData, size_t nSize, Source& from);
    static void Drain(const std::shared_ptr<Inbox>& pInbox);
    static void PostDrain(const std::shared_ptr<Inbox>& pInbox);

    int m_fd = -1;
    int m_wakeFd = -1;
    uint16_t m_nPort = 0;
    // Shared with the hand-overs still waiting in the event loop.
    std::shared_ptr<Inbox> m_pInbox;
    ThrottledLog m_log;
    std::atomic<uint64_t> m_nMalformed{0};
    OscMessage m_scratch;  // the receiving thread's only
    std::vector<uint8_t> m_buffer;
    std::thread m_thread;
};
