#include "tests/fakes/FakeVideoFiles.h"

#include <cstring>

namespace {

using State = FakeVideoFiles::State;

class FakeReader final : public IFrameReader {
public:
    FakeReader(std::shared_ptr<State> state, uint32_t number, FakeVideoStream stream)
        : m_state(std::move(state)), m_number(number), m_stream(std::move(stream)) {
        ++m_state->liveReaders;
    }
    ~FakeReader() override { --m_state->liveReaders; }

    const uint8_t* GetFrame(uint32_t frame) override {
        m_state->requests.emplace_back(m_number, frame);
        if (frame >= m_stream.dwLength || m_stream.missingFrames.count(frame)) return nullptr;
        const int w = m_stream.nWidth, h = m_stream.nHeight;
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = w;
        header.biHeight = h;
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<uint32_t>(w) * 3 * h;
        // A fresh buffer per call, so a caller holding an old pointer is caught by ASan.
        m_buffer.assign(sizeof header + header.biSizeImage, 0);
        std::memcpy(m_buffer.data(), &header, sizeof header);
        uint8_t* p = m_buffer.data() + sizeof header;
        for (int row = 0; row < h; ++row)
            for (int x = 0; x < w; ++x)
                for (int b = 0; b < 3; ++b)
                    *p++ = FakeVideoFiles::PixelByte(m_number, frame, x, row, b);
        return m_buffer.data();
    }

private:
    std::shared_ptr<State> m_state;
    uint32_t m_number;
    FakeVideoStream m_stream;
    std::vector<uint8_t> m_buffer;
};

class FakeStream final : public IVideoStream {
public:
    FakeStream(std::shared_ptr<State> state, uint32_t number, FakeVideoStream stream)
        : m_state(std::move(state)), m_number(number), m_stream(std::move(stream)) {
        ++m_state->liveStreams;
    }
    ~FakeStream() override { --m_state->liveStreams; }

    VideoStreamInfo Info() const override { return {m_stream.fccType, m_stream.dwLength}; }

    std::unique_ptr<IFrameReader> OpenFrameReader(FrameReaderUse /*use*/) override {
        if (m_stream.fccType != streamtypeVIDEO || !m_stream.bDecoder) return nullptr;
        return std::make_unique<FakeReader>(m_state, m_number, m_stream);
    }

private:
    std::shared_ptr<State> m_state;
    uint32_t m_number;
    FakeVideoStream m_stream;
};

class FakeFile final : public IVideoFile {
public:
    FakeFile(std::shared_ptr<State> state, FakeVideoClip clip)
        : m_state(std::move(state)), m_clip(std::move(clip)) {
        ++m_state->liveFiles;
        if (m_clip.info.dwStreams == 0)
            m_clip.info.dwStreams = static_cast<uint32_t>(m_clip.streams.size());
    }
    ~FakeFile() override { --m_state->liveFiles; }

    VideoFileInfo Info() const override { return m_clip.info; }

    std::unique_ptr<IVideoStream> GetStream(uint32_t number) override {
        if (number >= m_clip.streams.size()) return nullptr;
        return std::make_unique<FakeStream>(m_state, number, m_clip.streams[number]);
    }

private:
    std::shared_ptr<State> m_state;
    FakeVideoClip m_clip;
};

}  // namespace

FakeVideoFiles::FakeVideoFiles() : m_state(std::make_shared<State>()) {}
FakeVideoFiles::~FakeVideoFiles() = default;

void FakeVideoFiles::AddClip(const std::string& path, FakeVideoClip clip) {
    m_state->clips[path] = std::move(clip);
}

std::unique_ptr<IVideoFile> FakeVideoFiles::Open(const char* path) {
    auto it = m_state->clips.find(path ? path : "");
    if (it == m_state->clips.end()) return nullptr;
    return std::make_unique<FakeFile>(m_state, it->second);
}

uint8_t FakeVideoFiles::PixelByte(uint32_t stream, uint32_t frame, int x, int row, int byte) {
    return static_cast<uint8_t>(frame * 7 + stream * 101 + x * 3 + row * 5 + byte * 61);
}
