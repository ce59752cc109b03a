#pragma once
// For tests of OSC on loopback: the calls a receiver hands to the
// user-interface thread, run when the test says so, and a listener that
// keeps what reaches it. Tests that use it link the liblo backend.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Osc.h"
#include "platform/osc/OscReceiver.h"

class PostedCalls {
public:
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

struct KeptMessages final : IOscListener {
    void OnOscMessage(const OscMessage& msg) override { messages.push_back(msg); }
    std::vector<OscMessage> messages;
};
