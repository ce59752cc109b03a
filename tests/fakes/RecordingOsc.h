#pragma once
// An OSC service for tests: keeps every message sent, and hands a message to
// the listener at once when the test delivers one, as the user-interface
// thread would.

#include <string>
#include <vector>

#include "platform/Osc.h"

class RecordingOsc final : public IOsc {
public:
    bool IsSending() const override { return bSending; }
    void Send(const OscMessage& msg) override;
    void SetListener(IOscListener* pListener) override { m_pListener = pListener; }
    OscStats Stats() const override;

    // False when no listener is set.
    bool Deliver(const OscMessage& msg);
    IOscListener* Listener() const { return m_pListener; }

    // "/zarn/gate/choice 1 0": the address and the kept arguments, floats as %g.
    static std::string Text(const OscMessage& msg);
    // Text of every message sent whose address begins with prefix.
    std::vector<std::string> SentTexts(const std::string& prefix = "") const;

    bool bSending = true;
    uint64_t nSendDropped = 0;
    uint64_t nReceiveDropped = 0;
    std::vector<OscMessage> sent;

private:
    IOscListener* m_pListener = nullptr;
};
