// The launcher's wave list: choosing the file and reading it into the list.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/WaveList.h"
#include "app/ZARNDemoDlg.h"
#include "platform/ListControl.h"

namespace {

// The file's first MAX_WAVE_LIST_BYTES bytes; false when it is not a regular
// file that can be read.
bool ReadListFile(const std::string& path, std::string& bytes) {
    // Non-blocking, so that a named pipe picked by mistake cannot hang the
    // launcher before it is refused.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "wave list \"%s\": %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "wave list \"%s\": not a regular file\n", path.c_str());
        close(fd);
        return false;
    }
    bytes.resize(MAX_WAVE_LIST_BYTES + 1);
    size_t total = 0;
    while (total < bytes.size()) {
        const ssize_t got = read(fd, bytes.data() + total, bytes.size() - total);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<size_t>(got);
    }
    close(fd);
    if (total > MAX_WAVE_LIST_BYTES) {
        std::fprintf(stderr, "wave list \"%s\": only its first %zu bytes are read\n", path.c_str(),
                     MAX_WAVE_LIST_BYTES);
        total = MAX_WAVE_LIST_BYTES;
    }
    bytes.resize(total);
    return true;
}

}  // namespace

void CZARNDemoDlg::OnWaveOpen() {
    const std::string path = ChooseFile("txt", "Wave List Files (*.txt)|*.txt||");
    if (!path.empty()) {
        m_strWaveListPath = path;
        m_strWaveFolder = path;
        // Trims by the set of the file name's characters: the separator in
        // front of the name is not among them, so exactly the name goes.
        const std::string strFileName = path.substr(path.rfind('/') + 1);
        const size_t keep = m_strWaveFolder.find_last_not_of(strFileName);
        m_strWaveFolder.erase(keep == std::string::npos ? 0 : keep + 1);
    }
    UpdateData(false);
}

void CZARNDemoDlg::OnWaveRegister() { LoadWaveList(m_strWaveListPath); }

void CZARNDemoDlg::LoadWaveList(const std::string& path) {
    std::string bytes;
    if (path.empty() || !m_lbWaveNames || !ReadListFile(path, bytes)) return;

    const WaveListReading reading = ReadWaveList(bytes);
    const char* pszPath = path.c_str();
    if (!reading.bHasCount) {
        std::fprintf(stderr, "wave list \"%s\": does not start with a count; nothing read\n",
                     pszPath);
        return;
    }
    m_nWaveCount = reading.nCount;
    if (m_nWaveCount <= 0) return;

    if (reading.nCutNames > 0)
        std::fprintf(stderr, "wave list \"%s\": %d name(s) of %zu bytes or more cut to %zu\n",
                     pszPath, reading.nCutNames, WAVE_NAME_BYTES, WAVE_NAME_BYTES - 1);
    if (m_nWaveCount > MAX_WAVE_LIST_ENTRIES)
        std::fprintf(stderr, "wave list \"%s\": count %d; only %d entries are listed\n", pszPath,
                     m_nWaveCount, MAX_WAVE_LIST_ENTRIES);
    if (reading.nNamesRead == 0)
        std::fprintf(stderr, "wave list \"%s\": count %d but no names\n", pszPath, m_nWaveCount);
    else if (reading.nNamesRead < static_cast<int>(reading.entries.size()))
        std::fprintf(stderr, "wave list \"%s\": count %d but %d name(s); the last one repeats\n",
                     pszPath, m_nWaveCount, reading.nNamesRead);

    for (const std::string& name : reading.entries) m_lbWaveNames->AddString(name);
    m_lbWaveNames->SetCurSel(0);
}
