#pragma once
// Lines on standard error about trouble that may repeat many times a second
// (a flood of bad packets, an unreachable receiver): each kind says at most
// one line a second, and the next line of a kind tells how many were held
// back meanwhile. Safe to use from several threads.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class ThrottledLog {
public:
    explicit ThrottledLog(std::chrono::milliseconds interval = std::chrono::seconds(1));

    // Says fmt's line for kind, unless that kind said one less than the
    // interval ago. True when the line went out.
    bool Print(const char* szKind, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

private:
    struct Kind {
        std::string strName;
        std::chrono::steady_clock::time_point last;
        uint64_t nHeld = 0;
    };

    const std::chrono::milliseconds m_interval;
    std::mutex m_mutex;
    std::vector<Kind> m_kinds;
};
