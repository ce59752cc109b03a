#pragma once
// A file the user named (a clip, a wave list, a sound), opened once and read
// only through the descriptor that was checked.
//
// Callers rely on:
// - OpenUserFile never waits: a FIFO without a writer or a device opens and is
//   refused at once, and only a regular file comes back open. The refusal is
//   one short phrase ("a FIFO, not a regular file", or the system's reason
//   when the open itself fails), to follow "cannot read X: ".
// - Every read goes through the descriptor that passed the check, so a file
//   renamed over the path, or a FIFO put in its place, after the open is
//   never read.
// - Size() is the file's size when it was opened; reads past it simply end.
// - ReadAt may be called from several threads at once; Read moves the file's
//   position and belongs to one thread at a time.

#include <sys/types.h>

#include <cstdint>
#include <string>

class UserFile {
public:
    UserFile() = default;
    ~UserFile();
    UserFile(UserFile&& other) noexcept;
    UserFile& operator=(UserFile&& other) noexcept;
    UserFile(const UserFile&) = delete;
    UserFile& operator=(const UserFile&) = delete;

    explicit operator bool() const { return m_fd >= 0; }
    uint64_t Size() const { return m_nSize; }

    // Up to n bytes from the file's position on: fewer at its end or where a
    // read fails after some bytes came, -1 where it fails before any.
    ssize_t Read(void* pBuffer, size_t n);
    // The same from byte pos on; the file's position stays where it is.
    ssize_t ReadAt(uint64_t pos, void* pBuffer, size_t n) const;

private:
    friend UserFile OpenUserFile(const char* path, std::string& strWhy);
    UserFile(int fd, uint64_t nSize) : m_fd(fd), m_nSize(nSize) {}

    int m_fd = -1;
    uint64_t m_nSize = 0;
};

// The regular file at path, open for reading; a closed UserFile with the
// reason in strWhy otherwise.
UserFile OpenUserFile(const char* path, std::string& strWhy);
