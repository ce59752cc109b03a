#pragma once
// The handful of system calls the V4L2 capture backend makes, behind one
// seam: libv4l2 in the program, a scripted camera in tests.
//
// Each call behaves as its system counterpart: -1 (MAP_FAILED for Mmap) and
// errno on failure. Ioctl takes the request's own structure. Calls on one
// descriptor may come from two threads, never at the same time.

#include <poll.h>

#include <cstddef>
#include <cstdint>

class IV4l2Device {
public:
    virtual ~IV4l2Device() = default;
    virtual int Open(const char* pszPath, int nFlags) = 0;
    virtual int Close(int fd) = 0;
    virtual int Ioctl(int fd, unsigned long nRequest, void* pArg) = 0;
    virtual void* Mmap(size_t nLength, int nProt, int nFlags, int fd, int64_t nOffset) = 0;
    virtual int Munmap(void* p, size_t nLength) = 0;
    virtual int Poll(pollfd* pFds, nfds_t nFds, int nTimeoutMs) = 0;
};
