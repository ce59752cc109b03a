// CSoundBank::AddWave: one WAV file of the fixed 44-byte header form, read
// wholly into the next entry of the clip table.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "sound/SoundBank.h"

namespace {

// Reads up to n bytes; fewer only at the end of the file. -1 on error.
ssize_t ReadSome(int fd, void* buffer, size_t n) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, n);
        if (got >= 0 || errno != EINTR) return got;
    }
}

ssize_t ReadFully(int fd, uint8_t* buffer, size_t n) {
    size_t total = 0;
    while (total < n) {
        const ssize_t got = ReadSome(fd, buffer + total, n - total);
        if (got < 0) return -1;
        if (got == 0) break;
        total += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

class File {
public:
    explicit File(const char* path) : m_fd(::open(path, O_RDONLY | O_CLOEXEC)) {}
    ~File() {
        if (m_fd >= 0) ::close(m_fd);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

int CSoundBank::AddWave(const char* path) {
    if (m_nClipCount >= MAX_WAVE_CLIPS || !path) return -1;
    File file(path);
    if (file.fd() < 0) return -1;

    uint8_t header[WAVE_HEADER_BYTES];
    const ssize_t nHeaderBytes = ReadFully(file.fd(), header, sizeof header);
    if (nHeaderBytes < 0) return -1;
    struct stat st {};
    const uint64_t fileBytes =
        ::fstat(file.fd(), &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    const WaveHeader parsed =
        ReadWaveHeader({header, static_cast<size_t>(nHeaderBytes)}, fileBytes);
    if (parsed.refusal != WaveRefusal::NONE) return -1;
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
        const ssize_t got = ReadSome(file.fd(), pData + (dwDataLength - dwRemaining), want);
        if (got <= 0) break;
        dwRemaining -= static_cast<uint32_t>(got);
    }

    clip.pData = pData;
    clip.dwDataLength = dwDataLength;
    clip.wfx = parsed.wfx;
    return static_cast<int>(++m_nClipCount);
}
