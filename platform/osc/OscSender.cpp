#include "platform/osc/OscSender.h"

#include <lo/lo.h>

OscSender::OscSender(const std::string& strHost, const std::string& strPort, size_t nQueueCapacity)
    : m_strTarget(strHost + ":" + strPort),
      // Nothing is looked up yet: liblo resolves the name at the first send.
      m_pAddress(lo_address_new(strHost.c_str(), strPort.c_str())),
      m_queue(nQueueCapacity) {
    // liblo sends from the socket of a liblo server in the same process
    // when there is one; this program makes none, so the address keeps a
    // socket of its own.
    m_thread = std::thread([this] { Run(); });
}

OscSender::~OscSender() {
    m_bStopping.store(true);
    m_queue.Close();
    m_thread.join();
    if (m_pAddress) lo_address_free(static_cast<lo_address>(m_pAddress));
}

void OscSender::Send(const OscMessage& msg) {
    m_nQueued.fetch_add(1, std::memory_order_relaxed);
    if (!m_queue.Push(msg)) {
        m_log.Print("dropped",
                    "osc: messages to %s come faster than they go out; the oldest are dropped",
                    m_strTarget.c_str());
    }
}

void OscSender::Run() {
    OscMessage msg;
    while (m_queue.WaitPop(msg)) {
        if (SendNow(msg)) {
            m_nSent.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        m_nFailed.fetch_add(1, std::memory_order_relaxed);
        // At the end, what is left would only fail the same way, slowly.
        if (m_bStopping.load()) break;
    }
}

bool OscSender::SendNow(const OscMessage& msg) {
    auto address = static_cast<lo_address>(m_pAddress);
    if (!address) {
        m_log.Print("address", "osc: cannot send to %s", m_strTarget.c_str());
        return false;
    }
    if (msg.ArgCount() > OSC_MAX_ARGS) {
        m_log.Print("args", "osc: %s has more than %d arguments; not sent", msg.strPath.c_str(),
                    OSC_MAX_ARGS);
        return false;
    }
    lo_message m = lo_message_new();
    if (!m) return false;
    for (int i = 0; i < msg.ArgCount(); ++i) {
        const OscArg& arg = msg.args[i];
        switch (arg.chType) {
            case 'i':
                lo_message_add_int32(m, arg.nValue);
                break;
            case 'f':
                lo_message_add_float(m, arg.fValue);
                break;
            case 's':
                lo_message_add_string(m, arg.strValue.c_str());
                break;
            default:
                break;
        }
    }
    const int nResult = lo_send_message(address, msg.strPath.c_str(), m);
    lo_message_free(m);
    if (nResult < 0) {
        const char* szError = lo_address_errstr(address);
        m_log.Print("send", "osc: cannot send %s to %s: %s", msg.strPath.c_str(),
                    m_strTarget.c_str(), szError ? szError : "unknown error");
        return false;
    }
    return true;
}
