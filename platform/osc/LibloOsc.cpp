#include "platform/osc/LibloOsc.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/osc/OscEndpoint.h"
#include "platform/osc/OscSender.h"

LibloOsc::Config LibloOsc::FromEnvironment() {
    Config config;
    OscEndpoint endpoint;
    if (const char* szOut = std::getenv("ZARNDEMO_OSC_OUT"); szOut && *szOut) {
        if (ParseOscEndpoint(szOut, nullptr, endpoint)) {
            config.strOutHost = endpoint.strHost;
            config.strOutPort = endpoint.strPort;
        } else {
            std::fprintf(stderr,
                         "osc: ZARNDEMO_OSC_OUT=%s is not host:port (port 1 to 65535); nothing "
                         "is sent\n",
                         szOut);
        }
    }
    if (const char* szIn = std::getenv("ZARNDEMO_OSC_IN"); szIn && *szIn) {
        if (ParseOscEndpoint(szIn, config.strInAddr.c_str(), endpoint)) {
            config.strInAddr = endpoint.strHost;
            config.strInPort = endpoint.strPort;
        } else {
            std::fprintf(stderr,
                         "osc: ZARNDEMO_OSC_IN=%s is not port or address:port (port 1 to 65535); "
                         "nothing is received\n",
                         szIn);
        }
    }
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
