// CSoundBank::AddWave: one WAV file of the fixed 44-byte header form, read
// wholly into the next entry of the clip table.
#include <cstdlib>
#include <string>

#include "sound/SoundBank.h"
#include "sound/WaveFile.h"

int CSoundBank::AddWave(const char* path) {
    if (m_nClipCount >= MAX_WAVE_CLIPS || !path) return -1;
    std::string strWhy;
    WaveHeader parsed;
    UserFile file = OpenWaveFile(path, parsed, strWhy);
    if (!file) return -1;
    const uint32_t dwDataLength = parsed.dwDataLength;

    WaveClip& clip = m_Clips[m_nClipCount];

    // One byte more than asked, so that an empty clip still has a block.
    auto* pData = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(dwDataLength) + 1, 1));
    if (!pData) return -1;

    // The file stands at the data's offset, 44: the header was read whole.
    // From here the clip counts as loaded: a short file or a read error
    // leaves the rest of the block zero.
    uint32_t dwRemaining = dwDataLength;
    while (dwRemaining > 0) {
        const size_t want = dwRemaining < WAVE_CHUNK_BYTES ? dwRemaining : WAVE_CHUNK_BYTES;
        const ssize_t got = file.Read(pData + (dwDataLength - dwRemaining), want);
        if (got <= 0) break;
        dwRemaining -= static_cast<uint32_t>(got);
    }

    clip.pData = pData;
    clip.dwDataLength = dwDataLength;
    clip.wfx = parsed.wfx;
    return static_cast<int>(++m_nClipCount);
}
