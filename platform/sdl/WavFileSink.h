#pragma once
// Writes the mixer's output to a 16-bit stereo WAV file, paced in real time
// by a thread of its own, as a sound card would take it. The header's sizes
// are filled in when the sink stops.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

class AudioMixer;

class WavFileSink {
public:
    // Starts writing at once; Ok() tells whether the file could be created.
    WavFileSink(AudioMixer& mixer, const std::string& path);
    ~WavFileSink();  // stops, then finalises the header
    WavFileSink(const WavFileSink&) = delete;
    WavFileSink& operator=(const WavFileSink&) = delete;
    bool Ok() const { return m_pFile != nullptr; }

private:
    void Run();

    AudioMixer& m_mixer;
    std::FILE* m_pFile = nullptr;
    std::atomic<bool> m_bStop{false};
    uint64_t m_framesWritten = 0;
    std::thread m_thread;
};
