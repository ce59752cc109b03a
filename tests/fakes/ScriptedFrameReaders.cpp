#include "tests/fakes/ScriptedFrameReaders.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

#include "platform/BitmapInfo.h"

namespace {

constexpr int WIDTH = 3;
constexpr int HEIGHT = 2;
constexpr auto WAIT_LIMIT = std::chrono::seconds(10);

}  // namespace

struct ScriptedFrameReaders::State {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<Call> calls;
    std::set<std::pair<int, uint32_t>> failing;
    std::optional<uint32_t> hold;  // the frame whose next call waits
    bool bHeld = false;            // a call waits now
    int nOverlaps = 0;
    uint32_t nKeyEvery = 0;  // 0: the readers cannot tell a jump's cost
};

namespace {

using State = ScriptedFrameReaders::State;

class ScriptedReader final : public IFrameReader {
public:
    ScriptedReader(int nReader, uint32_t dwLength, std::shared_ptr<State> state)
        : m_nReader(nReader), m_dwLength(dwLength), m_state(std::move(state)) {}

    const uint8_t* GetFrame(uint32_t frame) override {
        std::unique_lock lock(m_state->mutex);
        if (m_bBusy) ++m_state->nOverlaps;
        m_bBusy = true;
        if (m_state->hold == frame) {
            m_state->hold.reset();
            m_state->bHeld = true;
            m_state->changed.notify_all();
            m_state->changed.wait(lock, [&] { return !m_state->bHeld; });
        }
        const bool bDelivered =
            frame < m_dwLength && m_state->failing.count({m_nReader, frame}) == 0;
        if (bDelivered) m_frame = ScriptedFrameReaders::Frame(frame);
        m_state->calls.push_back(Call{m_nReader, frame, std::this_thread::get_id(), bDelivered});
        m_bBusy = false;
        m_state->changed.notify_all();
        return bDelivered ? m_frame.data() : nullptr;
    }

    uint32_t JumpCost(uint32_t frame) const override {
        std::lock_guard lock(m_state->mutex);
        const uint32_t k = m_state->nKeyEvery;
        return k && frame < m_dwLength ? frame % k + 1 : 0;
    }

private:
    using Call = ScriptedFrameReaders::Call;

    const int m_nReader;
    const uint32_t m_dwLength;
    std::shared_ptr<State> m_state;
    bool m_bBusy = false;  // under the state's lock
    std::vector<uint8_t> m_frame;
};

}  // namespace

ScriptedFrameReaders::ScriptedFrameReaders() : m_state(std::make_shared<State>()) {}

std::unique_ptr<IFrameReader> ScriptedFrameReaders::Make(int nReader, uint32_t dwLength) {
    return std::make_unique<ScriptedReader>(nReader, dwLength, m_state);
}

std::vector<uint8_t> ScriptedFrameReaders::Frame(uint32_t n) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = WIDTH;
    header.biHeight = HEIGHT;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = WIDTH * HEIGHT * 3;
    std::vector<uint8_t> bytes(sizeof header + header.biSizeImage);
    std::memcpy(bytes.data(), &header, sizeof header);
    for (size_t i = sizeof header; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>((n >> (8 * (i % 4))) + i);
    return bytes;
}

void ScriptedFrameReaders::KeyEvery(uint32_t k) {
    std::lock_guard lock(m_state->mutex);
    m_state->nKeyEvery = k;
}

void ScriptedFrameReaders::Fail(int nReader, uint32_t n) {
    std::lock_guard lock(m_state->mutex);
    m_state->failing.insert({nReader, n});
}

void ScriptedFrameReaders::HoldNext(uint32_t n) {
    std::lock_guard lock(m_state->mutex);
    m_state->hold = n;
}

bool ScriptedFrameReaders::WaitHeld() const {
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, WAIT_LIMIT, [&] { return m_state->bHeld; });
}

void ScriptedFrameReaders::Release() {
    std::lock_guard lock(m_state->mutex);
    m_state->bHeld = false;
    m_state->changed.notify_all();
}

std::vector<ScriptedFrameReaders::Call> ScriptedFrameReaders::Calls() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->calls;
}

bool ScriptedFrameReaders::WaitFor(
    const std::function<bool(const std::vector<Call>&)>& pred) const {
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, WAIT_LIMIT, [&] { return pred(m_state->calls); });
}

int ScriptedFrameReaders::Overlaps() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->nOverlaps;
}
