#pragma once
// The sending half of the liblo backend: a bounded queue and a thread that
// encodes each message with liblo and sends it as one UDP datagram.
//
// The thread looks the host up once, as it starts, so that no other thread
// ever waits for the resolver. The end gives the thread a short time to
// send what is queued and then leaves it behind, still in the resolver, say:
// everything it touches is shared with it, so it may outlive this object.

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/Osc.h"
#include "platform/osc/OscLookup.h"

class OscSender {
public:
    // Messages go to host:port; lookup finds the host's address, on the
    // sending thread. Messages sent before it has are queued.
    OscSender(const std::string& strHost, const std::string& strPort, size_t nQueueCapacity,
              OscLookup lookup = LookUpOscHost);
    // Sends what is still queued, unless the network refuses, and waits for
    // that 80 ms at most; the rest goes while the process lives.
    ~OscSender();

    OscSender(const OscSender&) = delete;
    OscSender& operator=(const OscSender&) = delete;

    // Never waits for the network.
    void Send(const OscMessage& msg);

    uint64_t Queued() const;
    uint64_t Sent() const;
    uint64_t Failed() const;  // refused by the network, or to a host not found
    uint64_t Dropped() const;

private:
    struct Channel;
    static void Run(const std::shared_ptr<Channel>& pChannel);

    std::shared_ptr<Channel> m_pChannel;
    std::thread m_thread;
};
