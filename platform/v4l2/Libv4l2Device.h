#pragma once
// The real cameras, through libv4l2: its format conversion lets any camera
// deliver packed 24-bit frames.

#include "platform/v4l2/V4l2Device.h"

class Libv4l2Device final : public IV4l2Device {
public:
    int Open(const char* pszPath, int nFlags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long nRequest, void* pArg) override;
    void* Mmap(size_t nLength, int nProt, int nFlags, int fd, int64_t nOffset) override;
    int Munmap(void* p, size_t nLength) override;
    int Poll(pollfd* pFds, nfds_t nFds, int nTimeoutMs) override;
};
