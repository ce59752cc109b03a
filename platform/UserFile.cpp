#include "platform/UserFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

const char* WhatItIs(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder, not a regular file";
    if (S_ISFIFO(mode)) return "a FIFO, not a regular file";
    if (S_ISCHR(mode)) return "a character device, not a regular file";
    if (S_ISBLK(mode)) return "a block device, not a regular file";
    if (S_ISSOCK(mode)) return "a socket, not a regular file";
    return "not a regular file";
}

}  // namespace

UserFile::~UserFile() {
    if (m_fd >= 0) ::close(m_fd);
}

UserFile::UserFile(UserFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_nSize(std::exchange(other.m_nSize, 0)) {}

UserFile& UserFile::operator=(UserFile&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_nSize = std::exchange(other.m_nSize, 0);
    }
    return *this;
}

ssize_t UserFile::Read(void* pBuffer, size_t n) {
    auto* p = static_cast<uint8_t*>(pBuffer);
    size_t total = 0;
    while (total < n) {
        const ssize_t got = ::read(m_fd, p + total, n - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return total > 0 ? static_cast<ssize_t>(total) : -1;
        if (got == 0) break;
        total += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

ssize_t UserFile::ReadAt(uint64_t pos, void* pBuffer, size_t n) const {
    auto* p = static_cast<uint8_t*>(pBuffer);
    size_t total = 0;
    while (total < n) {
        const ssize_t got = ::pread(m_fd, p + total, n - total, static_cast<off_t>(pos + total));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return total > 0 ? static_cast<ssize_t>(total) : -1;
        if (got == 0) break;
        total += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

UserFile OpenUserFile(const char* path, std::string& strWhy) {
    if (!path || !*path) {
        strWhy = "no file named";
        return {};
    }
    // Non-blocking, so that a FIFO without a writer opens at once and can be
    // refused; no controlling terminal from a terminal named by mistake.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        strWhy = std::strerror(errno);
        return {};
    }
    UserFile file(fd, 0);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        strWhy = std::strerror(errno);
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        strWhy = WhatItIs(st.st_mode);
        return {};
    }
    // Reads of a regular file do not block anyway; cleared so that no read
    // can ever end early with EAGAIN.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    file.m_nSize = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    return file;
}
