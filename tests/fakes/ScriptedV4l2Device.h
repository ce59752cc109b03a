#pragma once
// Scripted cameras behind the V4L2 seam: /dev/videoN answers as the camera
// added at N would through libv4l2. A camera offers frame sizes, converts to
// packed 24-bit or not, pads its rows, delivers the frames the test hands it,
// and can fail, stall or be unplugged while it streams. Safe to drive from the
// test thread while the capture thread uses it.

#include <linux/videodev2.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/v4l2/V4l2Device.h"

struct ScriptedCamera {
    std::string strCard = "Scripted Camera";
    uint32_t nVersion = 0x060102;
    uint32_t nCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    bool bBusy = false;  // another program streams from it
    std::vector<std::pair<uint32_t, uint32_t>> sizes = {{640, 480}, {320, 240}};
    uint32_t nPixelFormat = V4L2_PIX_FMT_YUYV;  // what it sends by itself
    bool bConvertsToBgr24 = true;
    uint32_t nRowPadding = 0;  // bytes after each packed 24-bit row
    bool bFrameIntervals = true;
};

class ScriptedV4l2Device final : public IV4l2Device {
public:
    void AddCamera(int nDriver, ScriptedCamera camera);

    // Fills the next queued buffer of the streaming camera at nDriver with a
    // packed top-down 24-bit frame of its current size, at its stride (the
    // padding poisoned); nBytesUsed, when given, is what the camera reports.
    // False when the camera does not stream or holds no queued buffer.
    bool Deliver(int nDriver, const std::vector<uint8_t>& frame, uint32_t nBytesUsed = 0);
    // The next dequeue fails with this error.
    void FailNextDequeue(int nDriver, int nError);
    // Every later call on the camera fails with ENODEV.
    void Unplug(int nDriver);
    // Waits for frames end at once with nothing to read.
    void Stall(int nDriver);

    bool Streaming(int nDriver) const;
    // Milliseconds between frames last asked for; 0 when never.
    uint32_t FrameIntervalMs(int nDriver) const;
    int OpenDescriptors() const;
    int Mappings() const;

    int Open(const char* pszPath, int nFlags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long nRequest, void* pArg) override;
    void* Mmap(size_t nLength, int nProt, int nFlags, int fd, int64_t nOffset) override;
    int Munmap(void* p, size_t nLength) override;
    int Poll(pollfd* pFds, nfds_t nFds, int nTimeoutMs) override;

private:
    struct Buffer {
        std::unique_ptr<uint8_t[]> p;
        uint32_t nLength = 0;
        uint32_t nBytesUsed = 0;
        bool bMapped = false;
    };
    struct Camera {
        ScriptedCamera script;
        uint32_t nWidth = 0;
        uint32_t nHeight = 0;
        uint32_t nPixelFormat = 0;
        uint32_t nIntervalMs = 0;
        bool bStreaming = false;
        bool bUnplugged = false;
        bool bStalled = false;
        int nDequeueError = 0;
        std::vector<Buffer> buffers;
        std::vector<uint32_t> queued;  // given to the camera, oldest first
        std::vector<uint32_t> done;    // filled, waiting to be dequeued
    };

    Camera* CameraOf(int fd);
    uint32_t Stride(const Camera& camera) const;
    int Fail(int nError) const;
    int CameraIoctl(Camera& camera, unsigned long nRequest, void* pArg);

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::map<int, Camera> m_cameras;
    std::map<int, int> m_fds;  // descriptor to driver index
    int m_nNextFd = 1000;
    int m_nMappings = 0;
};
