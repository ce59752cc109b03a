#include "platform/osc/OscReceiver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/ErrnoText.h"
#include "platform/osc/OscDatagram.h"
#include "platform/osc/OscQueue.h"

namespace {

// The largest UDP payload: every datagram fits whole.
constexpr size_t DATAGRAM_BYTES = 65536;
// Datagrams read in one go before the thread looks at its wake-up again.
constexpr int READS_PER_WAKE = 64;

int BindUdp(const std::string& strAddr, const std::string& strPort, std::string& strError) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* pList = nullptr;
    const int nGai = getaddrinfo(strAddr.c_str(), strPort.c_str(), &hints, &pList);
    if (nGai != 0) {
        strError = gai_strerror(nGai);
        return -1;
    }
    int fd = -1;
    for (addrinfo* p = pList; p && fd < 0; p = p->ai_next) {
        fd = socket(p->ai_family, p->ai_socktype | SOCK_CLOEXEC, p->ai_protocol);
        if (fd < 0) {
            strError = ErrnoText(errno);
            continue;
        }
        if (bind(fd, p->ai_addr, p->ai_addrlen) != 0) {
            strError = ErrnoText(errno);
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(pList);
    return fd;
}

uint16_t BoundPort(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
    if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in&>(addr).sin_port);
    if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6&>(addr).sin6_port);
    return 0;
}

}  // namespace

// Where a datagram came from, told only when something is said about it.
struct OscReceiver::Source {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    char szText[NI_MAXHOST + NI_MAXSERV + 4];

    const char* Text() {
        char host[NI_MAXHOST];
        char port[NI_MAXSERV];
        if (getnameinfo(reinterpret_cast<const sockaddr*>(&addr), len, host, sizeof host, port,
                        sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
            return "an unknown sender";
        std::snprintf(szText, sizeof szText, addr.ss_family == AF_INET6 ? "[%s]:%s" : "%s:%s", host,
                      port);
        return szText;
    }
};

struct OscReceiver::Inbox {
    explicit Inbox(size_t nCapacity, OscPost postCall)
        : queue(nCapacity), post(std::move(postCall)) {}

    OscQueue queue;
    const OscPost post;
    std::atomic<uint64_t> nReceived{0};
    std::mutex mutex;
    IOscListener* pListener = nullptr;  // guarded by mutex
    bool bPosted = false;               // guarded by mutex: a drain is on its way
};

OscReceiver::OscReceiver(const std::string& strAddr, const std::string& strPort, OscPost post,
                         size_t nInboxCapacity)
    : m_pInbox(std::make_shared<Inbox>(nInboxCapacity, std::move(post))) {
    std::string strError;
    m_fd = BindUdp(strAddr, strPort, strError);
    if (m_fd < 0) {
        std::fprintf(stderr, "osc: cannot listen on %s port %s: %s\n", strAddr.c_str(),
                     strPort.c_str(), strError.c_str());
        return;
    }
    m_wakeFd = eventfd(0, EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        std::fprintf(stderr, "osc: cannot listen: %s\n", ErrnoText(errno).c_str());
        close(m_fd);
        m_fd = -1;
        return;
    }
    m_nPort = BoundPort(m_fd);
    m_buffer.resize(DATAGRAM_BYTES);
    m_thread = std::thread([this] { Run(); });
}

OscReceiver::~OscReceiver() {
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        while (write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    SetListener(nullptr);
    if (m_wakeFd >= 0) close(m_wakeFd);
    if (m_fd >= 0) close(m_fd);
}

void OscReceiver::SetListener(IOscListener* pListener) {
    std::lock_guard<std::mutex> lock(m_pInbox->mutex);
    m_pInbox->pListener = pListener;
}

uint64_t OscReceiver::Received() const {
    return m_pInbox->nReceived.load(std::memory_order_relaxed);
}

uint64_t OscReceiver::Dropped() const { return m_pInbox->queue.Dropped(); }

void OscReceiver::Run() {
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "osc: stopped listening: %s\n", ErrnoText(errno).c_str());
            return;
        }
        if (fds[1].revents) return;
        for (int n = 0; n < READS_PER_WAKE; ++n) {
            Source from;
            const ssize_t nRead =
                recvfrom(m_fd, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                         reinterpret_cast<sockaddr*>(&from.addr), &from.len);
            if (nRead < 0) break;  // nothing more waiting
            if (static_cast<size_t>(nRead) > m_buffer.size()) {
                m_nMalformed.fetch_add(1, std::memory_order_relaxed);
                m_log.Print("size", "osc: ignored a packet from %s: larger than %zu bytes",
                            from.Text(), m_buffer.size());
                continue;
            }
            Take(m_buffer.data(), static_cast<size_t>(nRead), from);
        }
    }
}

void OscReceiver::Take(const uint8_t* pData, size_t nSize, Source& from) {
    int nLibloError = 0;
    switch (ReadOscDatagram(pData, nSize, m_scratch, nLibloError)) {
        case OscDatagramKind::Message:
            break;
        case OscDatagramKind::Bundle:
            m_nMalformed.fetch_add(1, std::memory_order_relaxed);
            m_log.Print("bundle", "osc: ignored a bundle from %s: send single messages",
                        from.Text());
            return;
        case OscDatagramKind::Blob:
            m_nMalformed.fetch_add(1, std::memory_order_relaxed);
            m_log.Print("blob",
                        "osc: ignored a message with a blob from %s: nothing here takes one",
                        from.Text());
            return;
        case OscDatagramKind::Malformed:
            m_nMalformed.fetch_add(1, std::memory_order_relaxed);
            m_log.Print("malformed",
                        "osc: ignored a packet from %s: not an OSC message (liblo error %d)",
                        from.Text(), nLibloError);
            return;
    }

    Inbox& in = *m_pInbox;
    in.nReceived.fetch_add(1, std::memory_order_relaxed);
    if (!in.queue.Push(m_scratch)) {
        m_log.Print("inbox",
                    "osc: messages come faster than the program takes them; the oldest are "
                    "dropped");
    }
    PostDrain(m_pInbox);
}

void OscReceiver::PostDrain(const std::shared_ptr<Inbox>& pInbox) {
    {
        std::lock_guard<std::mutex> lock(pInbox->mutex);
        if (pInbox->bPosted) return;
        pInbox->bPosted = true;
    }
    pInbox->post([pInbox] { Drain(pInbox); });
}

void OscReceiver::Drain(const std::shared_ptr<Inbox>& pInbox) {
    Inbox& in = *pInbox;
    {
        // Cleared first: what comes in from now on posts another drain.
        std::lock_guard<std::mutex> lock(in.mutex);
        in.bPosted = false;
    }
    // At most one queue's worth per hand-over, so a flood cannot hold the
    // user-interface thread; the rest waits for the next one.
    OscMessage msg;
    for (size_t n = 0; n < in.queue.Capacity() && in.queue.Pop(msg); ++n) {
        IOscListener* pListener = nullptr;
        {
            std::lock_guard<std::mutex> lock(in.mutex);
            pListener = in.pListener;
        }
        if (pListener) pListener->OnOscMessage(msg);
    }
    if (in.queue.Size() > 0) PostDrain(pInbox);
}
