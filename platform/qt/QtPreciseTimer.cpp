#include "platform/qt/QtPreciseTimer.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimerEvent>
#include <algorithm>
#include <climits>
#include <cstdint>

QtPreciseTimer::QtPreciseTimer(std::function<void()> onTick, QObject* pParent)
    : QObject(pParent), m_onTick(std::move(onTick)) {
    m_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0) return;
    m_pNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    m_pNotifier->setEnabled(false);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { Expired(); });
}

QtPreciseTimer::~QtPreciseTimer() {
    // The notifier lets go of the descriptor before it is closed.
    delete m_pNotifier;
    if (m_fd >= 0) close(m_fd);
}

void QtPreciseTimer::Start(unsigned nMsec) {
    Stop();
    // A zero period would disarm a timerfd and spin a Qt timer.
    m_nMsec = std::max(nMsec, 1u);
    m_bActive = true;
    if (m_pNotifier) {
        itimerspec spec{};
        spec.it_interval.tv_sec = m_nMsec / 1000;
        spec.it_interval.tv_nsec = static_cast<long>(m_nMsec % 1000) * 1000000;
        spec.it_value = spec.it_interval;
        if (timerfd_settime(m_fd, 0, &spec, nullptr) == 0) {
            m_pNotifier->setEnabled(true);
            return;
        }
    }
    m_fallback.start(static_cast<int>(std::min<unsigned>(m_nMsec, INT_MAX)), Qt::PreciseTimer,
                     this);
}

void QtPreciseTimer::Stop() {
    m_bActive = false;
    m_fallback.stop();
    if (!m_pNotifier) return;
    m_pNotifier->setEnabled(false);
    const itimerspec disarmed{};
    timerfd_settime(m_fd, 0, &disarmed, nullptr);
}

void QtPreciseTimer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_fallback.timerId()) return QObject::timerEvent(event);
    Fire();
}

void QtPreciseTimer::Expired() {
    // Read whatever count there is, or the notifier fires again at once.
    uint64_t nExpiries;
    if (read(m_fd, &nExpiries, sizeof nExpiries) > 0) Fire();
}

void QtPreciseTimer::Fire() {
    if (!m_bActive || m_bTicking) return;
    m_bTicking = true;
    m_onTick();
    m_bTicking = false;
}
