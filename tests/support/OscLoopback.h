#pragma once
// For tests and benchmarks of OSC on loopback: the calls a receiver hands to
// the user-interface thread, run when the test says so, a listener that
// keeps what reaches it, and a plain UDP socket. Programs that use it link
// the liblo backend.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Osc.h"
#include "platform/osc/OscReceiver.h"

class PostedCalls {
public:
    PostedCalls() = default;
    // Calls never run are dropped: they hold their receiver's inbox, which
    // holds the poster.
    ~PostedCalls() {
        std::vector<std::function<void()>> calls;
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        calls.swap(m_pState->calls);
    }
    PostedCalls(const PostedCalls&) = delete;
    PostedCalls& operator=(const PostedCalls&) = delete;

    // What a receiver posts lands here; the poster may outlive this object.
    OscPost Poster() {
        return [state = m_pState](std::function<void()> call) {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->calls.push_back(std::move(call));
        };
    }
    size_t Pending() const {
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        return m_pState->calls.size();
    }
    // Runs the calls waiting now, oldest first; returns how many.
    size_t RunWaiting() {
        std::vector<std::function<void()>> calls;
        {
            std::lock_guard<std::mutex> lock(m_pState->mutex);
            calls.swap(m_pState->calls);
        }
        for (auto& call : calls) call();
        return calls.size();
    }
    // Runs posted calls until done() or 10 s have passed; done()'s last answer.
    bool RunUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            if (RunWaiting() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

private:
    struct State {
        std::mutex mutex;
        std::vector<std::function<void()>> calls;
    };
    std::shared_ptr<State> m_pState = std::make_shared<State>();
};

// Lines of text (standard error, captured) that contain part.
inline int CountLinesWith(const std::string& text, const std::string& part) {
    int n = 0;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        n += text.substr(start, end - start).find(part) != std::string::npos;
    return n;
}

struct KeptMessages final : IOscListener {
    void OnOscMessage(const OscMessage& msg) override { messages.push_back(msg); }
    std::vector<OscMessage> messages;
};

// A UDP socket on 127.0.0.1 that nobody reads unless asked: raw packets go
// out of it, and its port is one nobody else holds while it stands.
struct LoopbackUdpSocket {
    LoopbackUdpSocket() {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
    }
    ~LoopbackUdpSocket() { close(fd); }
    LoopbackUdpSocket(const LoopbackUdpSocket&) = delete;
    LoopbackUdpSocket& operator=(const LoopbackUdpSocket&) = delete;

    void SendTo(uint16_t to, const void* data, size_t size) const {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(to);
        sendto(fd, data, size, 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }

    int fd;
    uint16_t port;
};
