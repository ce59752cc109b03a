#include "bench/gateshow/HandOverCount.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <utility>

struct HandOverCount::State {
    std::thread::id caller;
    int nHandOvers = 0;
    std::mutex mutex;  // readers are opened and closed on other threads too
    int nOpen = 0;
    int nMostOpen = 0;
};

namespace {

using State = HandOverCount::State;

// One opened clip: which of its readers served the caller last.
struct ClipReads {
    std::shared_ptr<State> state;
    const void* pLastReader = nullptr;
};

class CountedReader final : public IFrameReader {
public:
    CountedReader(std::unique_ptr<IFrameReader> inner, std::shared_ptr<ClipReads> clip)
        : m_inner(std::move(inner)), m_clip(std::move(clip)) {
        std::lock_guard lock(m_clip->state->mutex);
        State& s = *m_clip->state;
        s.nMostOpen = std::max(s.nMostOpen, ++s.nOpen);
    }
    ~CountedReader() override {
        std::lock_guard lock(m_clip->state->mutex);
        --m_clip->state->nOpen;
    }

    const uint8_t* GetFrame(uint32_t frame) override {
        if (std::this_thread::get_id() == m_clip->state->caller) {
            if (m_clip->pLastReader && m_clip->pLastReader != this) ++m_clip->state->nHandOvers;
            m_clip->pLastReader = this;
        }
        return m_inner->GetFrame(frame);
    }
    uint32_t JumpCost(uint32_t frame) const override { return m_inner->JumpCost(frame); }

private:
    std::unique_ptr<IFrameReader> m_inner;
    std::shared_ptr<ClipReads> m_clip;
};

class CountedStream final : public IVideoStream {
public:
    CountedStream(std::unique_ptr<IVideoStream> inner, std::shared_ptr<ClipReads> clip)
        : m_inner(std::move(inner)), m_clip(std::move(clip)) {}

    VideoStreamInfo Info() const override { return m_inner->Info(); }
    std::unique_ptr<IFrameReader> OpenFrameReader(FrameReaderUse use) override {
        std::unique_ptr<IFrameReader> reader = m_inner->OpenFrameReader(use);
        if (!reader) return nullptr;
        return std::make_unique<CountedReader>(std::move(reader), m_clip);
    }

private:
    std::unique_ptr<IVideoStream> m_inner;
    std::shared_ptr<ClipReads> m_clip;
};

class CountedFile final : public IVideoFile {
public:
    CountedFile(std::unique_ptr<IVideoFile> inner, std::shared_ptr<ClipReads> clip)
        : m_inner(std::move(inner)), m_clip(std::move(clip)) {}

    VideoFileInfo Info() const override { return m_inner->Info(); }
    std::unique_ptr<IVideoStream> GetStream(uint32_t number) override {
        std::unique_ptr<IVideoStream> stream = m_inner->GetStream(number);
        if (!stream) return nullptr;
        return std::make_unique<CountedStream>(std::move(stream), m_clip);
    }

private:
    std::unique_ptr<IVideoFile> m_inner;
    std::shared_ptr<ClipReads> m_clip;
};

}  // namespace

HandOverCount::HandOverCount(IVideoFiles& inner)
    : m_inner(inner), m_state(std::make_shared<State>()) {
    m_state->caller = std::this_thread::get_id();
}

std::unique_ptr<IVideoFile> HandOverCount::Open(const char* path) {
    std::unique_ptr<IVideoFile> file = m_inner.Open(path);
    if (!file) return nullptr;
    auto clip = std::make_shared<ClipReads>();
    clip->state = m_state;
    return std::make_unique<CountedFile>(std::move(file), std::move(clip));
}

int HandOverCount::HandOvers() const { return m_state->nHandOvers; }

int HandOverCount::MostReadersOpen() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->nMostOpen;
}
