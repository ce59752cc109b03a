#include "sound/WaveFile.h"

UserFile OpenWaveFile(const char* path, WaveHeader& header, std::string& strWhy) {
    header = WaveHeader{};
    UserFile file = OpenUserFile(path, strWhy);
    if (!file) return file;
    uint8_t bytes[WAVE_HEADER_BYTES];
    const ssize_t nHeaderBytes = file.Read(bytes, sizeof bytes);
    if (nHeaderBytes < 0) {
        strWhy = "its header cannot be read";
        return UserFile();
    }
    header = ReadWaveHeader({bytes, static_cast<size_t>(nHeaderBytes)}, file.Size());
    if (header.refusal != WaveRefusal::NONE) {
        strWhy = WaveRefusalText(header.refusal);
        return UserFile();
    }
    return file;
}

const char* WaveRefusalText(WaveRefusal refusal) {
    switch (refusal) {
        case WaveRefusal::NONE:
            return "a WAV file";
        case WaveRefusal::SHORT_HEADER:
            return "shorter than a WAV header (44 bytes)";
        case WaveRefusal::NOT_RIFF:
            return "not a RIFF file";
        case WaveRefusal::NOT_WAVE_FMT:
            return "not a WAV file (no \"WAVEfmt \" at byte 8)";
        case WaveRefusal::FORMAT_CHUNK_SIZE:
            return "its format chunk is not the plain 16-byte one";
        case WaveRefusal::FORMAT_TAG:
            return "not PCM";
        case WaveRefusal::BEYOND_FILE:
            return "its header claims far more data than the file holds";
    }
    return "not a WAV file";
}
