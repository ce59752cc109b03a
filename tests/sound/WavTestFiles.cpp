#include "tests/sound/WavTestFiles.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace wavtest {

WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = rate;
    wfx.wBitsPerSample = bits;
    wfx.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    return wfx;
}

std::vector<uint8_t> Tone(const WAVEFORMATEX& wfx, double hz, double level, double seconds) {
    const size_t frames = static_cast<size_t>(wfx.nSamplesPerSec * seconds);
    std::vector<uint8_t> out;
    out.reserve(frames * wfx.nBlockAlign);
    for (size_t f = 0; f < frames; ++f) {
        const double x =
            level * std::sin(2 * M_PI * hz * static_cast<double>(f) / wfx.nSamplesPerSec);
        // 8-bit samples are unsigned around 128; wider ones signed, little-endian.
        const int bits = wfx.wBitsPerSample;
        const int64_t v = std::llrint((bits == 8 ? 128 : 0) + double((1LL << (bits - 1)) - 1) * x);
        for (int c = 0; c < wfx.nChannels; ++c)
            for (int b = 0; b < bits / 8; ++b) out.push_back(static_cast<uint8_t>(v >> (8 * b)));
    }
    return out;
}

void PutLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

void PutLe16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<uint8_t>(value);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

std::vector<uint8_t> Header(const WAVEFORMATEX& wfx, uint32_t dataBytes) {
    std::vector<uint8_t> h(44);
    std::memcpy(h.data(), "RIFF", 4);
    PutLe32(h, 4, 36 + dataBytes);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    PutLe32(h, 16, 16);
    PutLe16(h, 20, wfx.wFormatTag);
    PutLe16(h, 22, wfx.nChannels);
    PutLe32(h, 24, wfx.nSamplesPerSec);
    PutLe32(h, 28, wfx.nAvgBytesPerSec);
    PutLe16(h, 32, wfx.nBlockAlign);
    PutLe16(h, 34, wfx.wBitsPerSample);
    std::memcpy(h.data() + 36, "data", 4);
    PutLe32(h, 40, dataBytes);
    return h;
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        v[i] = static_cast<uint8_t>(x >> 24);
    }
    return v;
}

TempDir::TempDir() {
    const char* base = std::getenv("ZARN_TEST_DATA");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/sound-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string path = m_path + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

std::string TempDir::WriteWav(const std::string& name, const WAVEFORMATEX& wfx,
                              const std::vector<uint8_t>& data) const {
    std::vector<uint8_t> bytes = Header(wfx, static_cast<uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return Write(name, bytes);
}

}  // namespace wavtest
