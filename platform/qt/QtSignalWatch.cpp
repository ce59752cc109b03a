#include "platform/qt/QtSignalWatch.h"

#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <utility>

namespace {

constexpr int WATCHED_SIGNALS[] = {SIGINT, SIGTERM};

int g_fdSignalRead = -1;
int g_fdSignalWrite = -1;
struct sigaction g_previous[std::size(WATCHED_SIGNALS)];

// The handler's state: it may only touch lock-free atomics and the semaphore.
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> g_nSignals{0};
std::atomic<int> g_nFirstSignal{0};
std::atomic<bool> g_bWatchEnded{false};
// Posted by the first signal, and by the watch's end.
sem_t g_semWatchdog;

void Say(const char* pszLine) {
    // Not stdio: the stuck thread may hold its lock.
    [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, pszLine, std::strlen(pszLine));
}

extern "C" void OnSignal(int nSignal) {
    const int savedErrno = errno;
    if (g_nSignals.fetch_add(1) > 0) {
        Say("signals: a second signal; ending at once\n");
        _exit(128 + nSignal);
    }
    g_nFirstSignal.store(nSignal);
    const unsigned char byte = static_cast<unsigned char>(nSignal);
    // A full pipe already holds a signal to act on.
    [[maybe_unused]] const ssize_t n = write(g_fdSignalWrite, &byte, 1);
    sem_post(&g_semWatchdog);
    errno = savedErrno;
}

// Waits for the first signal, then up to ORDERLY_END_MS for the watch's end.
void Watchdog() {
    while (sem_wait(&g_semWatchdog) != 0)
        if (errno != EINTR) return;
    if (g_bWatchEnded.load()) return;
    // The steady clock is CLOCK_MONOTONIC.
    const auto end = std::chrono::steady_clock::now().time_since_epoch() +
                     std::chrono::milliseconds(ORDERLY_END_MS);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(end);
    const timespec deadline{static_cast<time_t>(seconds.count()),
                            static_cast<long>((end - seconds) / std::chrono::nanoseconds(1))};
    while (sem_clockwait(&g_semWatchdog, CLOCK_MONOTONIC, &deadline) != 0) {
        if (errno == EINTR) continue;
        if (errno != ETIMEDOUT || g_bWatchEnded.load()) return;
        const int nSignal = g_nFirstSignal.load();
        char line[160];
        std::snprintf(line, sizeof line,
                      "signals: SIG%s came %d ms ago and the program has not ended in order; "
                      "ending it now\n",
                      sigabbrev_np(nSignal), ORDERLY_END_MS);
        Say(line);
        _exit(128 + nSignal);
    }
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

    g_nSignals = 0;
    g_nFirstSignal = 0;
    g_bWatchEnded = false;
    sem_init(&g_semWatchdog, 0, 0);
    // The watchdog never takes the signals itself: they belong to the
    // threads whose blocking calls they should cut short.
    sigset_t watched, previousMask;
    sigemptyset(&watched);
    for (int nSignal : WATCHED_SIGNALS) sigaddset(&watched, nSignal);
    pthread_sigmask(SIG_BLOCK, &watched, &previousMask);
    m_watchdog = std::thread(Watchdog);
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    m_bOk = true;
    for (size_t i = 0; i < std::size(WATCHED_SIGNALS); ++i)
        if (sigaction(WATCHED_SIGNALS[i], &action, &g_previous[i]) != 0) m_bOk = false;
}

QtSignalWatch::~QtSignalWatch() {
    if (!m_pNotifier) return;
    for (size_t i = 0; i < std::size(WATCHED_SIGNALS); ++i)
        sigaction(WATCHED_SIGNALS[i], &g_previous[i], nullptr);
    g_bWatchEnded = true;
    sem_post(&g_semWatchdog);
    m_watchdog.join();
    sem_destroy(&g_semWatchdog);
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
