#include "platform/v4l2/Libv4l2Device.h"

#include <libv4l2.h>

int Libv4l2Device::Open(const char* pszPath, int nFlags) { return v4l2_open(pszPath, nFlags); }

int Libv4l2Device::Close(int fd) { return v4l2_close(fd); }

int Libv4l2Device::Ioctl(int fd, unsigned long nRequest, void* pArg) {
    return v4l2_ioctl(fd, nRequest, pArg);
}

void* Libv4l2Device::Mmap(size_t nLength, int nProt, int nFlags, int fd, int64_t nOffset) {
    return v4l2_mmap(nullptr, nLength, nProt, nFlags, fd, nOffset);
}

int Libv4l2Device::Munmap(void* p, size_t nLength) { return v4l2_munmap(p, nLength); }

// libv4l2 hands out the device's own descriptor, so the system's poll serves.
int Libv4l2Device::Poll(pollfd* pFds, nfds_t nFds, int nTimeoutMs) {
    return ::poll(pFds, nFds, nTimeoutMs);
}
