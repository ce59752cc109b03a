#include "platform/ThrottledLog.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

ThrottledLog::ThrottledLog(std::chrono::milliseconds interval) : m_interval(interval) {}

bool ThrottledLog::Print(const char* szKind, const char* fmt, ...) {
    const auto now = std::chrono::steady_clock::now();
    uint64_t nHeld = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Kind* pKind = nullptr;
        for (Kind& kind : m_kinds)
            if (kind.strName == szKind) pKind = &kind;
        if (!pKind) {
            m_kinds.push_back(Kind{szKind, now - m_interval, 0});
            pKind = &m_kinds.back();
        }
        if (now - pKind->last < m_interval) {
            ++pKind->nHeld;
            return false;
        }
        pKind->last = now;
        nHeld = pKind->nHeld;
        pKind->nHeld = 0;
    }

    // One write, so that lines of several threads do not mix.
    char line[512];
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    if (n < 0) n = 0;
    if (static_cast<size_t>(n) >= sizeof line) n = sizeof line - 1;
    if (nHeld > 0) {
        const int m =
            std::snprintf(line + n, sizeof line - static_cast<size_t>(n),
                          " (%llu more like it held back)", static_cast<unsigned long long>(nHeld));
        if (m > 0) n = std::min<int>(n + m, sizeof line - 1);
    }
    std::fprintf(stderr, "%.*s\n", n, line);
    return true;
}
