#include "platform/sdl/WavFileSink.h"

#include <chrono>
#include <cmath>
#include <vector>

#include "platform/sdl/AudioMixer.h"

namespace {

constexpr int kPeriodMs = 10;

void PutLe(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void WriteHeader(std::FILE* f, uint32_t rate, uint64_t dataBytes) {
    const uint32_t data =
        dataBytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataBytes);
    uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    PutLe(h + 4, 36 + data, 4);
    PutLe(h + 16, 16, 4);
    PutLe(h + 20, 1, 2);  // PCM
    PutLe(h + 22, 2, 2);  // stereo
    PutLe(h + 24, rate, 4);
    PutLe(h + 28, rate * 4, 4);
    PutLe(h + 32, 4, 2);
    PutLe(h + 34, 16, 2);
    h[36] = 'd';
    h[37] = 'a';
    h[38] = 't';
    h[39] = 'a';
    PutLe(h + 40, data, 4);
    std::fseek(f, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, f);
}

}  // namespace

WavFileSink::WavFileSink(AudioMixer& mixer, const std::string& path) : m_mixer(mixer) {
    m_pFile = std::fopen(path.c_str(), "wb");
    if (!m_pFile) {
        std::fprintf(stderr, "sound: cannot write the audio file %s\n", path.c_str());
        return;
    }
    WriteHeader(m_pFile, static_cast<uint32_t>(m_mixer.OutputRate()), 0);
    m_thread = std::thread([this] { Run(); });
}

WavFileSink::~WavFileSink() {
    m_bStop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_pFile) {
        WriteHeader(m_pFile, static_cast<uint32_t>(m_mixer.OutputRate()), m_framesWritten * 4);
        std::fclose(m_pFile);
    }
}

void WavFileSink::Run() {
    using Clock = std::chrono::steady_clock;
    const int rate = m_mixer.OutputRate();
    const int blockFrames = rate * kPeriodMs / 1000;
    std::vector<float> mix(static_cast<size_t>(blockFrames) * 2);
    std::vector<int16_t> pcm(mix.size());
    const Clock::time_point start = Clock::now();
    uint64_t blocks = 0;
    uint64_t headerBlocks = 0;  // blocks counted in the header last written
    while (!m_bStop) {
        // Mix every block that is due by now, then sleep to the next one; a
        // late wake-up catches up instead of drifting.
        const auto due =
            static_cast<uint64_t>((Clock::now() - start) / std::chrono::milliseconds(kPeriodMs)) +
            1;
        while (blocks < due) {
            m_mixer.Mix(mix.data(), blockFrames);
            for (size_t i = 0; i < mix.size(); ++i)
                pcm[i] = static_cast<int16_t>(
                    std::lrint(std::fmax(-1.0f, std::fmin(1.0f, mix[i])) * 32767.0f));
            std::fwrite(pcm.data(), sizeof(int16_t), pcm.size(), m_pFile);
            m_framesWritten += static_cast<uint64_t>(blockFrames);
            ++blocks;
        }
        // Keep the header current every second, so that a program that is
        // killed still leaves a playable file.
        if (blocks - headerBlocks >= 1000 / kPeriodMs) {
            headerBlocks = blocks;
            WriteHeader(m_pFile, static_cast<uint32_t>(rate), m_framesWritten * 4);
            std::fseek(m_pFile, 0, SEEK_END);
            std::fflush(m_pFile);
        }
        std::this_thread::sleep_until(start + std::chrono::milliseconds(kPeriodMs) * blocks);
    }
}
