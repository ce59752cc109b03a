#pragma once
// Builds WAV files for the sound tests in a fresh folder of their own.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/WaveOut.h"

namespace wavtest {

WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits);

// The 44-byte header of a plain PCM WAV holding dataBytes bytes.
std::vector<uint8_t> Header(const WAVEFORMATEX& wfx, uint32_t dataBytes);
void PutLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
void PutLe16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);

// Bytes whose value depends on position and seed, so a misplaced or missing
// chunk shows.
std::vector<uint8_t> Pattern(size_t n, uint32_t seed);

// A sine of the given level (0..1) in any PCM format, the same on every channel.
std::vector<uint8_t> Tone(const WAVEFORMATEX& wfx, double hz, double level, double seconds);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
    // A complete WAV file: header then data.
    std::string WriteWav(const std::string& name, const WAVEFORMATEX& wfx,
                         const std::vector<uint8_t>& data) const;

private:
    std::string m_path;
};

}  // namespace wavtest
