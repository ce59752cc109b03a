#include "platform/sdl/WavFileSink.h"

#include <chrono>
#include <vector>

#include "platform/WavHeader.h"
#include "platform/sdl/AudioMixer.h"

namespace {

constexpr int kPeriodMs = 10;

void WriteHeader(std::FILE* f, uint32_t rate, uint64_t dataBytes) {
    const auto header = PcmWavHeader(rate, 2, 16, dataBytes);
    std::fseek(f, 0, SEEK_SET);
    std::fwrite(header.data(), 1, header.size(), f);
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
            m_mixer.Mix(mix.data(), blockFrames, true);
            AudioMixer::ToPcm16(mix.data(), pcm.data(), mix.size());
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
