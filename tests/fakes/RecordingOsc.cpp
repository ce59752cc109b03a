#include "tests/fakes/RecordingOsc.h"

#include <cstdio>

void RecordingOsc::Send(const OscMessage& msg) {
    if (bSending) sent.push_back(msg);
}

OscStats RecordingOsc::Stats() const {
    OscStats stats;
    stats.nQueued = stats.nSent = sent.size();
    stats.nSendDropped = nSendDropped;
    stats.nReceiveDropped = nReceiveDropped;
    return stats;
}

bool RecordingOsc::Deliver(const OscMessage& msg) {
    if (!m_pListener) return false;
    m_pListener->OnOscMessage(msg);
    return true;
}

std::string RecordingOsc::Text(const OscMessage& msg) {
    std::string text = msg.strPath;
    for (int i = 0; i < msg.ArgCount() && i < OSC_MAX_ARGS; ++i) {
        const OscArg& arg = msg.args[i];
        char value[64];
        switch (arg.chType) {
            case 'i':
                std::snprintf(value, sizeof value, " %d", arg.nValue);
                break;
            case 'f':
                std::snprintf(value, sizeof value, " %g", static_cast<double>(arg.fValue));
                break;
            case 's':
                text += " " + arg.strValue;
                continue;
            default:
                std::snprintf(value, sizeof value, " <%c>", arg.chType);
                break;
        }
        text += value;
    }
    return text;
}

std::vector<std::string> RecordingOsc::SentTexts(const std::string& prefix) const {
    std::vector<std::string> texts;
    for (const OscMessage& msg : sent)
        if (msg.strPath.rfind(prefix, 0) == 0) texts.push_back(Text(msg));
    return texts;
}
