#include "platform/qt/QtUiCalls.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

QtUiCalls::QtUiCalls() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_pNotifier(nullptr) {
    if (m_fd < 0) {
        std::fprintf(stderr, "zarndemo: no wake-up for calls from other threads: %s\n",
                     std::strerror(errno));
        return;
    }
    m_pNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    QObject::connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { RunWaiting(); });
}

QtUiCalls::~QtUiCalls() {
    delete m_pNotifier;
    if (m_fd >= 0) close(m_fd);
}

void QtUiCalls::Post(std::function<void()> call) {
    if (m_fd < 0 || !call) return;
    bool bWake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        bWake = m_calls.empty();
        m_calls.push_back(std::move(call));
    }
    // One wake-up per batch: the loop takes everything waiting at once.
    const uint64_t one = 1;
    if (bWake) {
        while (write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

std::function<void(std::function<void()>)> QtUiCalls::Poster() {
    return [this](std::function<void()> call) { Post(std::move(call)); };
}

void QtUiCalls::RunWaiting() {
    uint64_t count = 0;
    while (read(m_fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        calls.swap(m_calls);
    }
    for (auto& call : calls) call();
}
