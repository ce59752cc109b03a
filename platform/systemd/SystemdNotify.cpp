#include "platform/systemd/SystemdNotify.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>

namespace {

// Beats come at least this often, well inside any watchdog period.
constexpr std::chrono::milliseconds MAX_BEAT{3000};
constexpr std::chrono::milliseconds MIN_BEAT{100};

}  // namespace

SystemdNotify::SystemdNotify() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        // Half the period, so one late beat is not yet a missed one.
        const auto half = std::chrono::milliseconds(usec / 2000);
        m_watchdog = std::clamp(half, MIN_BEAT, MAX_BEAT);
    }
}

void SystemdNotify::Ready(const std::string& strStatus) {
    sd_notifyf(0, "READY=1\nSTATUS=%s", strStatus.c_str());
}

void SystemdNotify::Watchdog() { sd_notify(0, "WATCHDOG=1"); }

void SystemdNotify::Stopping() { sd_notify(0, "STOPPING=1"); }
