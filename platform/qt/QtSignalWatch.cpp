#include "platform/qt/QtSignalWatch.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <utility>

namespace {

constexpr int WATCHED_SIGNALS[] = {SIGINT, SIGTERM};

int g_fdSignalRead = -1;
int g_fdSignalWrite = -1;
struct sigaction g_previous[sizeof WATCHED_SIGNALS / sizeof WATCHED_SIGNALS[0]];

extern "C" void OnSignal(int nSignal) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(nSignal);
    // A full pipe already holds a signal to act on.
    [[maybe_unused]] const ssize_t n = write(g_fdSignalWrite, &byte, 1);
    errno = savedErrno;
}

}  // namespace

QtSignalWatch::QtSignalWatch(std::function<void(int)> onSignal) : m_onSignal(std::move(onSignal)) {
    if (g_fdSignalRead >= 0) {
        std::fprintf(stderr, "signals: already watched\n");
        return;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("signals: pipe");
        return;
    }
    g_fdSignalRead = fds[0];
    g_fdSignalWrite = fds[1];
    m_pNotifier = new QSocketNotifier(g_fdSignalRead, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { Drain(); });

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_bOk = true;
    for (size_t i = 0; i < std::size(WATCHED_SIGNALS); ++i)
        if (sigaction(WATCHED_SIGNALS[i], &action, &g_previous[i]) != 0) m_bOk = false;
}

QtSignalWatch::~QtSignalWatch() {
    if (!m_pNotifier) return;
    for (size_t i = 0; i < std::size(WATCHED_SIGNALS); ++i)
        sigaction(WATCHED_SIGNALS[i], &g_previous[i], nullptr);
    delete m_pNotifier;
    close(g_fdSignalRead);
    close(g_fdSignalWrite);
    g_fdSignalRead = g_fdSignalWrite = -1;
}

int QtSignalWatch::TakePending() {
    if (g_fdSignalRead < 0) return 0;
    unsigned char byte = 0;
    int nSignal = 0;
    // The first signal decides; later ones add nothing.
    while (read(g_fdSignalRead, &byte, 1) == 1)
        if (nSignal == 0) nSignal = byte;
    return nSignal;
}

void QtSignalWatch::Drain() {
    if (const int nSignal = TakePending(); nSignal != 0 && m_onSignal) m_onSignal(nSignal);
}
