#include "platform/Osc.h"

namespace {

// Used until a backend is installed: no destination and no port.
class NoOsc final : public IOsc {
public:
    bool IsSending() const override { return false; }
    void Send(const OscMessage&) override {}
    void SetListener(IOscListener*) override {}
    OscStats Stats() const override { return {}; }
};

NoOsc g_noOsc;
IOsc* g_pOsc = &g_noOsc;

}  // namespace

OscArg* OscMessage::Next(char chType) {
    const size_t n = strTypes.size();
    strTypes.push_back(chType);
    if (n >= OSC_MAX_ARGS) return nullptr;
    args[n].chType = chType;
    return &args[n];
}

OscMessage& OscMessage::Int(int32_t n) {
    if (OscArg* pArg = Next('i')) pArg->nValue = n;
    return *this;
}

OscMessage& OscMessage::Float(float f) {
    if (OscArg* pArg = Next('f')) pArg->fValue = f;
    return *this;
}

OscMessage& OscMessage::String(std::string_view s) {
    if (OscArg* pArg = Next('s')) pArg->strValue.assign(s);
    return *this;
}

namespace platform {

IOsc& Osc() { return *g_pOsc; }

void SetOsc(IOsc* service) { g_pOsc = service ? service : &g_noOsc; }

}  // namespace platform
