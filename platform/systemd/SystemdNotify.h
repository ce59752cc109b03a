#pragma once
// Tells the service manager how the program is doing when one started it
// (NOTIFY_SOCKET is set); does nothing otherwise. Ready once the show is up,
// and a watchdog beat from the user-interface thread, so that a hung thread
// is restarted like a crashed program.

#include <chrono>
#include <string>

class SystemdNotify {
public:
    SystemdNotify();

    // The status line goes with the readiness ("show playing", ...).
    void Ready(const std::string& strStatus);
    void Watchdog();
    void Stopping();

    // How often Watchdog must come; zero when the manager asks for none.
    std::chrono::milliseconds WatchdogInterval() const { return m_watchdog; }

private:
    std::chrono::milliseconds m_watchdog{0};
};
