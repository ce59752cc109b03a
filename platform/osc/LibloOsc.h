#pragma once
// OSC over UDP on liblo: messages out to one host and port, messages in on
// one local address and port, each side on a thread of its own.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Osc.h"
#include "platform/osc/OscReceiver.h"

class OscSender;

// Messages waiting to go out, and received ones waiting for the
// user-interface thread: about 4 minutes of rankings either way.
constexpr size_t OSC_SEND_QUEUE = 256;
constexpr size_t OSC_RECEIVE_QUEUE = 256;

class LibloOsc final : public IOsc {
public:
    struct Config {
        std::string strOutHost;  // empty: nothing is sent
        std::string strOutPort;
        std::string strInAddr = "127.0.0.1";
        std::string strInPort;  // empty: nothing is received; "0": any free port
        size_t nSendQueue = OSC_SEND_QUEUE;
        size_t nReceiveQueue = OSC_RECEIVE_QUEUE;
    };

    // ZARNDEMO_OSC_OUT=host:port and ZARNDEMO_OSC_IN=port or address:port
    // (127.0.0.1 unless an address is given). A value that does not parse is
    // said in one line on standard error and leaves its side off.
    static Config FromEnvironment();

    // post runs a call on the user-interface thread: how received messages
    // reach the listener.
    LibloOsc(const Config& config, OscPost post);
    ~LibloOsc() override;

    bool IsSending() const override { return m_pSender != nullptr; }
    void Send(const OscMessage& msg) override;
    void SetListener(IOscListener* pListener) override;
    OscStats Stats() const override;

    // The port messages come in on; 0 when nothing is received.
    uint16_t ReceivePort() const;

private:
    std::unique_ptr<OscSender> m_pSender;
    std::unique_ptr<OscReceiver> m_pReceiver;
};
