#pragma once
// Open Sound Control: messages to one other program of the installation, and
// messages from any of them handed to the user-interface thread.
//
// Callers rely on:
// - IsSending() is true when messages have somewhere to go; Send does
//   nothing otherwise, so a caller may skip building them.
// - Send(msg) copies msg into a bounded queue and returns at once: it never
//   waits for the network, a name lookup or the receiver (it takes one short
//   lock). A thread of the service's own sends the queued messages in order,
//   one datagram each. When the queue is full the oldest waiting message is
//   dropped and counted. Nothing confirms delivery: a receiver that is not
//   there costs nothing visible beyond one line on standard error at most.
//   Callable from any thread.
// - SetListener(p): messages received from then on reach p->OnOscMessage on
//   the user-interface thread, in the order they came, never on a thread of
//   the service's. Messages that arrive faster than that thread takes them
//   are dropped and counted, so a flood costs bounded memory and time. Null
//   drops what arrives. Once SetListener has returned, the listener it
//   replaced gets no further call. Called on the user-interface thread only.
// - A listener sees every well-formed message as it came: its address, its
//   full type tag string, and the values of its first OSC_MAX_ARGS arguments.
//   Packets that are not a single well-formed message, and messages with a
//   blob argument (no message of the program takes one), are dropped by the
//   service with one line on standard error at most once a second.
// - Stats() counts since the service started; callable from any thread.

#include <cstdint>
#include <string>
#include <string_view>

constexpr int OSC_MAX_ARGS = 8;

struct OscArg {
    // 'i' int32, 'f' float32, 's' string; any other type tag only as
    // received, with no value here.
    char chType = 0;
    int32_t nValue = 0;
    float fValue = 0.0f;
    std::string strValue;
};

struct OscMessage {
    std::string strPath;
    // One tag per argument, as sent or received ("iif"); may be longer than
    // the arguments kept.
    std::string strTypes;
    OscArg args[OSC_MAX_ARGS];

    OscMessage() = default;
    explicit OscMessage(std::string_view path) : strPath(path) {}

    // Appends an argument; past OSC_MAX_ARGS only its tag is kept.
    OscMessage& Int(int32_t n);
    OscMessage& Float(float f);
    OscMessage& String(std::string_view s);
    int ArgCount() const { return static_cast<int>(strTypes.size()); }

private:
    OscArg* Next(char chType);
};

struct OscStats {
    uint64_t nQueued = 0;          // handed to Send while sending was on
    uint64_t nSent = 0;            // went out as datagrams
    uint64_t nSendDropped = 0;     // the oldest, pushed out of a full queue
    uint64_t nSendFailed = 0;      // the network refused them
    uint64_t nReceived = 0;        // well-formed messages that came in
    uint64_t nReceiveDropped = 0;  // came faster than the user-interface thread took them
    uint64_t nMalformed = 0;       // packets that were not a single message, or held a blob
};

class IOscListener {
public:
    virtual void OnOscMessage(const OscMessage& msg) = 0;

protected:
    ~IOscListener() = default;
};

class IOsc {
public:
    virtual ~IOsc() = default;
    virtual bool IsSending() const = 0;
    virtual void Send(const OscMessage& msg) = 0;
    virtual void SetListener(IOscListener* pListener) = 0;
    virtual OscStats Stats() const = 0;
};

namespace platform {
// The process's OSC service; without one installed nothing is sent and
// nothing received. Not owned.
IOsc& Osc();
void SetOsc(IOsc* service);
}  // namespace platform
