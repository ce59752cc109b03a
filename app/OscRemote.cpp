#include "app/OscRemote.h"

#include "app/ShowOwner.h"

COscRemote::COscRemote() : m_osc(platform::Osc()) { m_osc.SetListener(this); }

COscRemote::~COscRemote() { m_osc.SetListener(nullptr); }

void COscRemote::OnOscMessage(const OscMessage& msg) {
    if (msg.strPath == "/zarn/play") {
        Play(msg);
    } else if (msg.strPath == "/zarn/stop") {
        Stop(msg);
    } else {
        m_log.Print("address", "osc: ignored %s: this program takes /zarn/play i and /zarn/stop",
                    msg.strPath.c_str());
    }
}

void COscRemote::Play(const OscMessage& msg) {
    if (msg.strTypes != "i") {
        m_log.Print("play-types",
                    "osc: ignored /zarn/play with arguments \"%s\": it takes one int32 (i)",
                    msg.strTypes.c_str());
        return;
    }
    const int32_t nClip = msg.args[0].nValue;
    uint32_t nCount = 0;
    switch (ShowOwner().PlayWave(nClip, nCount)) {
        case CShowOwner::Play::PLAYED:
            return;
        case CShowOwner::Play::NO_SHOW:
            m_log.Print("play-closed", "osc: ignored /zarn/play %d: no detection window is open",
                        nClip);
            return;
        case CShowOwner::Play::STARTING:
            m_log.Print("play-starting",
                        "osc: ignored /zarn/play %d: the detection window is still starting",
                        nClip);
            return;
        case CShowOwner::Play::REFUSED:
            break;
    }
    if (nCount == 0) {
        m_log.Print("play-range", "osc: ignored /zarn/play %d: the detection window has no sounds",
                    nClip);
    } else {
        m_log.Print("play-range",
                    "osc: ignored /zarn/play %d: the detection window has sounds 0 to %u", nClip,
                    nCount - 1);
    }
}

void COscRemote::Stop(const OscMessage& msg) {
    if (!msg.strTypes.empty()) {
        m_log.Print("stop-types", "osc: ignored /zarn/stop with arguments \"%s\": it takes none",
                    msg.strTypes.c_str());
        return;
    }
    // A show still starting closes as soon as it has started.
    if (!ShowOwner().StopShows())
        m_log.Print("stop-closed", "osc: ignored /zarn/stop: no show is open");
}
