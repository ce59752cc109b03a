#include "platform/osc/LibloOsc.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/osc/OscEndpoint.h"
#include "platform/osc/OscSender.h"

namespace {

// Leaves host and port as they are when the variable is unset, or set to
// something that does not parse (said in one line).
void ReadEndpoint(const char* szVariable, const char* szDefaultHost, const char* szForm,
                  std::string& strHost, std::string& strPort) {
    const char* szValue = std::getenv(szVariable);
    if (!szValue || !*szValue) return;
    OscEndpoint endpoint;
    if (!ParseOscEndpoint(szValue, szDefaultHost, endpoint)) {
        std::fprintf(stderr, "osc: %s=%s is not %s (port 1 to 65535); OSC stays off that way\n",
                     szVariable, szValue, szForm);
        return;
    }
    strHost = endpoint.strHost;
    strPort = endpoint.strPort;
}

}  // namespace

LibloOsc::Config LibloOsc::FromEnvironment() {
    Config config;
    ReadEndpoint("ZARNDEMO_OSC_OUT", nullptr, "host:port", config.strOutHost, config.strOutPort);
    ReadEndpoint("ZARNDEMO_OSC_IN", config.strInAddr.c_str(), "port or address:port",
                 config.strInAddr, config.strInPort);
    return config;
}

LibloOsc::LibloOsc(const Config& config, OscPost post) {
    if (!config.strOutHost.empty())
        m_pSender =
            std::make_unique<OscSender>(config.strOutHost, config.strOutPort, config.nSendQueue);
    if (!config.strInPort.empty()) {
        m_pReceiver = std::make_unique<OscReceiver>(config.strInAddr, config.strInPort,
                                                    std::move(post), config.nReceiveQueue);
        if (!m_pReceiver->Listening()) m_pReceiver.reset();
    }
}

LibloOsc::~LibloOsc() = default;

void LibloOsc::Send(const OscMessage& msg) {
    if (m_pSender) m_pSender->Send(msg);
}

void LibloOsc::SetListener(IOscListener* pListener) {
    if (m_pReceiver) m_pReceiver->SetListener(pListener);
}

OscStats LibloOsc::Stats() const {
    OscStats stats;
    if (m_pSender) {
        stats.nQueued = m_pSender->Queued();
        stats.nSent = m_pSender->Sent();
        stats.nSendDropped = m_pSender->Dropped();
        stats.nSendFailed = m_pSender->Failed();
    }
    if (m_pReceiver) {
        stats.nReceived = m_pReceiver->Received();
        stats.nReceiveDropped = m_pReceiver->Dropped();
        stats.nMalformed = m_pReceiver->Malformed();
    }
    return stats;
}

uint16_t LibloOsc::ReceivePort() const { return m_pReceiver ? m_pReceiver->Port() : 0; }
