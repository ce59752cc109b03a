#include "platform/osc/OscSender.h"

#include <lo/lo.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/ThrottledLog.h"
#include "platform/osc/OscQueue.h"

namespace {

// How long the program's end waits for the last messages: short enough that
// nobody notices, long enough for a few datagrams on a working network.
constexpr std::chrono::milliseconds END_WAIT{80};

// On the sending thread: null, said in one line, when the host is not found.
lo_address Connect(const OscLookup& lookup, const std::string& strHost,
                   const std::string& strPort) {
    std::string strAddress;
    std::string strError;
    if (!lookup(strHost, strPort, strAddress, strError)) {
        std::fprintf(stderr, "osc: cannot find %s (%s); messages to it are dropped\n",
                     strHost.c_str(), strError.c_str());
        return nullptr;
    }
    // A numeric address: liblo has nothing left to look up. It sends from a
    // socket of the address's own, as this program runs no liblo server.
    const lo_address address = lo_address_new(strAddress.c_str(), strPort.c_str());
    if (!address)
        std::fprintf(stderr, "osc: cannot send to %s:%s\n", strHost.c_str(), strPort.c_str());
    return address;
}

bool SendNow(ThrottledLog& log, const std::string& strTarget, lo_address address,
             const OscMessage& msg) {
    if (msg.ArgCount() > OSC_MAX_ARGS) {
        log.Print("args", "osc: %s has more than %d arguments; not sent", msg.strPath.c_str(),
                  OSC_MAX_ARGS);
        return false;
    }
    lo_message m = lo_message_new();
    if (!m) return false;
    for (int i = 0; i < msg.ArgCount(); ++i) {
        const OscArg& arg = msg.args[i];
        switch (arg.chType) {
            case 'i':
                lo_message_add_int32(m, arg.nValue);
                break;
            case 'f':
                lo_message_add_float(m, arg.fValue);
                break;
            case 's':
                lo_message_add_string(m, arg.strValue.c_str());
                break;
            default:
                break;
        }
    }
    const int nResult = lo_send_message(address, msg.strPath.c_str(), m);
    lo_message_free(m);
    if (nResult < 0) {
        const char* szError = lo_address_errstr(address);
        log.Print("send", "osc: cannot send %s to %s: %s", msg.strPath.c_str(), strTarget.c_str(),
                  szError ? szError : "unknown error");
        return false;
    }
    return true;
}

}  // namespace

// What the sending thread uses: shared, so that a thread left behind in the
// resolver still finds it there.
struct OscSender::Channel {
    Channel(const std::string& host, const std::string& port, size_t nCapacity, OscLookup lookUp)
        : strHost(host),
          strPort(port),
          strTarget(host + ":" + port),
          lookup(std::move(lookUp)),
          queue(nCapacity) {}

    const std::string strHost;
    const std::string strPort;
    const std::string strTarget;  // for lines on standard error
    const OscLookup lookup;
    OscQueue queue;
    ThrottledLog log;
    std::atomic<bool> bStopping{false};  // the owner is ending: do not wait on failures
    std::atomic<bool> bLookingUp{true};
    std::atomic<uint64_t> nQueued{0};
    std::atomic<uint64_t> nSent{0};
    std::atomic<uint64_t> nFailed{0};

    std::mutex mutex;
    std::condition_variable cvDone;
    bool bDone = false;  // guarded by mutex: the thread has finished its work
};

OscSender::OscSender(const std::string& strHost, const std::string& strPort, size_t nQueueCapacity,
                     OscLookup lookup)
    : m_pChannel(std::make_shared<Channel>(strHost, strPort, nQueueCapacity, std::move(lookup))) {
    m_thread = std::thread([pChannel = m_pChannel] { Run(pChannel); });
}

OscSender::~OscSender() {
    Channel& ch = *m_pChannel;
    ch.bStopping.store(true);
    ch.queue.Close();
    bool bDone = false;
    {
        std::unique_lock<std::mutex> lock(ch.mutex);
        bDone = ch.cvDone.wait_for(lock, END_WAIT, [&ch] { return ch.bDone; });
    }
    if (bDone) {
        m_thread.join();
        return;
    }
    // What is still queued goes out for as long as the process lives.
    m_thread.detach();
    if (ch.bLookingUp.load()) {
        const size_t nLeft = ch.queue.Size();
        std::fprintf(stderr, "osc: still looking up %s at the end; %zu message%s to it not sent\n",
                     ch.strHost.c_str(), nLeft, nLeft == 1 ? "" : "s");
    }
}

void OscSender::Send(const OscMessage& msg) {
    Channel& ch = *m_pChannel;
    ch.nQueued.fetch_add(1, std::memory_order_relaxed);
    if (!ch.queue.Push(msg)) {
        ch.log.Print("dropped",
                     "osc: messages to %s come faster than they go out; the oldest are dropped",
                     ch.strTarget.c_str());
    }
}

uint64_t OscSender::Queued() const { return m_pChannel->nQueued.load(std::memory_order_relaxed); }
uint64_t OscSender::Sent() const { return m_pChannel->nSent.load(std::memory_order_relaxed); }
uint64_t OscSender::Failed() const { return m_pChannel->nFailed.load(std::memory_order_relaxed); }
uint64_t OscSender::Dropped() const { return m_pChannel->queue.Dropped(); }

void OscSender::Run(const std::shared_ptr<Channel>& pChannel) {
    Channel& ch = *pChannel;
    const lo_address address = Connect(ch.lookup, ch.strHost, ch.strPort);
    ch.bLookingUp.store(false);
    OscMessage msg;
    while (ch.queue.WaitPop(msg)) {
        if (address && SendNow(ch.log, ch.strTarget, address, msg)) {
            ch.nSent.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        ch.nFailed.fetch_add(1, std::memory_order_relaxed);
        // At the end, what is left would only fail the same way, slowly.
        if (ch.bStopping.load()) break;
    }
    if (address) lo_address_free(address);
    {
        std::lock_guard<std::mutex> lock(ch.mutex);
        ch.bDone = true;
    }
    ch.cvDone.notify_all();
}
