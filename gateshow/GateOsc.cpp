#include "gateshow/GateOsc.h"

#include "platform/Osc.h"

void SendGateSegment(int nSegment, const char* szName) {
    IOsc& osc = platform::Osc();
    if (!osc.IsSending()) return;
    OscMessage msg("/zarn/gate/segment");
    msg.Int(nSegment).String(szName);
    osc.Send(msg);
}

void SendGateChoice(int nGate, int nZone) {
    IOsc& osc = platform::Osc();
    if (!osc.IsSending()) return;
    OscMessage msg("/zarn/gate/choice");
    msg.Int(nGate).Int(nZone);
    osc.Send(msg);
}
