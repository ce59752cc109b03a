#pragma once
// Sound triggers and a stop from the other programs of an installation, over
// OSC, acted on in the user-interface thread:
//
//   /zarn/play  i   plays clip i of the open detection window's sound bank,
//                   exactly as a ranking plays a cell's sound
//   /zarn/stop      closes the open show windows, as a right click does
//
// Anything else is ignored, with one line on standard error per kind of
// mistake, at most one a second.

#include "platform/Osc.h"
#include "platform/ThrottledLog.h"

class COscRemote final : public IOscListener {
public:
    // Listens to platform::Osc() from here on.
    COscRemote();
    ~COscRemote();

    COscRemote(const COscRemote&) = delete;
    COscRemote& operator=(const COscRemote&) = delete;

    void OnOscMessage(const OscMessage& msg) override;

private:
    void Play(const OscMessage& msg);
    void Stop(const OscMessage& msg);

    IOsc& m_osc;
    ThrottledLog m_log;
};
