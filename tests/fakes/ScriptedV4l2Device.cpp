#include "tests/fakes/ScriptedV4l2Device.h"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t MAX_SCRIPTED_BUFFERS = 8;
constexpr int OFFSET_SHIFT = 16;
constexpr uint8_t PADDING_POISON = 0xEE;

}  // namespace

void ScriptedV4l2Device::AddCamera(int nDriver, ScriptedCamera script) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Camera& camera = m_cameras[nDriver];
    camera = Camera{};
    camera.nWidth = script.sizes.empty() ? 0 : script.sizes.front().first;
    camera.nHeight = script.sizes.empty() ? 0 : script.sizes.front().second;
    camera.nPixelFormat = script.nPixelFormat;
    camera.script = std::move(script);
}

int ScriptedV4l2Device::Fail(int nError) const {
    errno = nError;
    return -1;
}

uint32_t ScriptedV4l2Device::Stride(const Camera& camera) const {
    return camera.nPixelFormat == V4L2_PIX_FMT_BGR24 ? camera.nWidth * 3 + camera.script.nRowPadding
                                                     : camera.nWidth * 2;
}

ScriptedV4l2Device::Camera* ScriptedV4l2Device::CameraOf(int fd) {
    const auto it = m_fds.find(fd);
    return it == m_fds.end() ? nullptr : &m_cameras[it->second];
}

int ScriptedV4l2Device::Open(const char* pszPath, int /*nFlags*/) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const char* const PREFIX = "/dev/video";
    if (std::strncmp(pszPath, PREFIX, std::strlen(PREFIX)) != 0) return Fail(ENOENT);
    const int nDriver = std::atoi(pszPath + std::strlen(PREFIX));
    const auto it = m_cameras.find(nDriver);
    if (it == m_cameras.end()) return Fail(ENOENT);
    if (it->second.bUnplugged) return Fail(ENODEV);
    m_fds[m_nNextFd] = nDriver;
    return m_nNextFd++;
}

int ScriptedV4l2Device::Close(int fd) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fds.erase(fd) ? 0 : Fail(EBADF);
}

int ScriptedV4l2Device::Ioctl(int fd, unsigned long nRequest, void* pArg) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Camera* pCamera = CameraOf(fd);
    if (!pCamera) return Fail(EBADF);
    if (pCamera->bUnplugged) return Fail(ENODEV);
    return CameraIoctl(*pCamera, nRequest, pArg);
}

int ScriptedV4l2Device::CameraIoctl(Camera& camera, unsigned long nRequest, void* pArg) {
    switch (nRequest) {
        case VIDIOC_QUERYCAP: {
            auto& cap = *static_cast<v4l2_capability*>(pArg);
            cap = v4l2_capability{};
            std::snprintf(reinterpret_cast<char*>(cap.card), sizeof(cap.card), "%s",
                          camera.script.strCard.c_str());
            cap.version = camera.script.nVersion;
            cap.device_caps = camera.script.nCaps;
            cap.capabilities = camera.script.nCaps | V4L2_CAP_DEVICE_CAPS;
            return 0;
        }
        case VIDIOC_G_FMT:
        case VIDIOC_S_FMT: {
            auto& fmt = *static_cast<v4l2_format*>(pArg);
            if (fmt.type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return Fail(EINVAL);
            if (nRequest == VIDIOC_S_FMT) {
                if (camera.bStreaming || !camera.buffers.empty()) return Fail(EBUSY);
                // The nearest size offered, as drivers answer.
                const auto distance = [&](const std::pair<uint32_t, uint32_t>& s) {
                    return std::labs(long(s.first) - long(fmt.fmt.pix.width)) +
                           std::labs(long(s.second) - long(fmt.fmt.pix.height));
                };
                const auto best = std::min_element(
                    camera.script.sizes.begin(), camera.script.sizes.end(),
                    [&](const auto& a, const auto& b) { return distance(a) < distance(b); });
                if (best != camera.script.sizes.end()) {
                    camera.nWidth = best->first;
                    camera.nHeight = best->second;
                }
                const bool bBgr24 =
                    fmt.fmt.pix.pixelformat == V4L2_PIX_FMT_BGR24 && camera.script.bConvertsToBgr24;
                camera.nPixelFormat = bBgr24 ? V4L2_PIX_FMT_BGR24 : camera.script.nPixelFormat;
            }
            fmt.fmt.pix = v4l2_pix_format{};
            fmt.fmt.pix.width = camera.nWidth;
            fmt.fmt.pix.height = camera.nHeight;
            fmt.fmt.pix.pixelformat = camera.nPixelFormat;
            fmt.fmt.pix.field = V4L2_FIELD_NONE;
            fmt.fmt.pix.bytesperline = Stride(camera);
            fmt.fmt.pix.sizeimage = Stride(camera) * camera.nHeight;
            return 0;
        }
        case VIDIOC_G_PARM:
        case VIDIOC_S_PARM: {
            auto& parm = *static_cast<v4l2_streamparm*>(pArg);
            if (!camera.script.bFrameIntervals) return Fail(ENOTTY);
            if (nRequest == VIDIOC_S_PARM) {
                const v4l2_fract& t = parm.parm.capture.timeperframe;
                if (t.denominator) camera.nIntervalMs = 1000 * t.numerator / t.denominator;
            }
            parm.parm.capture = v4l2_captureparm{};
            parm.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
            parm.parm.capture.timeperframe = {camera.nIntervalMs ? camera.nIntervalMs : 33, 1000};
            return 0;
        }
        case VIDIOC_REQBUFS: {
            auto& req = *static_cast<v4l2_requestbuffers*>(pArg);
            if (req.memory != V4L2_MEMORY_MMAP) return Fail(EINVAL);
            if (camera.script.bBusy || camera.bStreaming) return Fail(EBUSY);
            for (const Buffer& b : camera.buffers)
                if (b.bMapped) return Fail(EBUSY);
            camera.buffers.clear();
            camera.queued.clear();
            camera.done.clear();
            req.count = std::min(req.count, MAX_SCRIPTED_BUFFERS);
            for (uint32_t i = 0; i < req.count; ++i) {
                Buffer b;
                b.nLength = Stride(camera) * camera.nHeight;
                // Exactly the reported size, so a read past it is caught.
                b.p.reset(new uint8_t[b.nLength]());
                camera.buffers.push_back(std::move(b));
            }
            return 0;
        }
        case VIDIOC_QUERYBUF:
        case VIDIOC_QBUF:
        case VIDIOC_DQBUF: {
            auto& buf = *static_cast<v4l2_buffer*>(pArg);
            if (buf.memory != V4L2_MEMORY_MMAP) return Fail(EINVAL);
            if (nRequest == VIDIOC_DQBUF) {
                if (camera.nDequeueError) return Fail(std::exchange(camera.nDequeueError, 0));
                if (camera.done.empty()) return Fail(EAGAIN);
                buf.index = camera.done.front();
                camera.done.erase(camera.done.begin());
                buf.bytesused = camera.buffers[buf.index].nBytesUsed;
                buf.flags = V4L2_BUF_FLAG_MAPPED;
                return 0;
            }
            if (buf.index >= camera.buffers.size()) return Fail(EINVAL);
            buf.length = camera.buffers[buf.index].nLength;
            buf.m.offset = buf.index << OFFSET_SHIFT;
            if (nRequest == VIDIOC_QBUF) {
                const auto in = [&](const std::vector<uint32_t>& v) {
                    return std::find(v.begin(), v.end(), buf.index) != v.end();
                };
                if (in(camera.queued) || in(camera.done)) return Fail(EINVAL);
                camera.queued.push_back(buf.index);
            }
            return 0;
        }
        case VIDIOC_STREAMON:
            if (camera.buffers.empty()) return Fail(EINVAL);
            camera.bStreaming = true;
            return 0;
        case VIDIOC_STREAMOFF:
            camera.bStreaming = false;
            camera.queued.clear();
            camera.done.clear();
            return 0;
        default:
            return Fail(ENOTTY);
    }
}

void* ScriptedV4l2Device::Mmap(size_t nLength, int /*nProt*/, int /*nFlags*/, int fd,
                               int64_t nOffset) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Camera* pCamera = CameraOf(fd);
    const auto index = static_cast<size_t>(nOffset >> OFFSET_SHIFT);
    if (!pCamera || index >= pCamera->buffers.size() ||
        nLength != pCamera->buffers[index].nLength || pCamera->buffers[index].bMapped) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    pCamera->buffers[index].bMapped = true;
    ++m_nMappings;
    return pCamera->buffers[index].p.get();
}

int ScriptedV4l2Device::Munmap(void* p, size_t nLength) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& [nDriver, camera] : m_cameras) {
        for (Buffer& b : camera.buffers) {
            if (b.p.get() == p && b.bMapped && b.nLength == nLength) {
                b.bMapped = false;
                --m_nMappings;
                return 0;
            }
        }
    }
    return Fail(EINVAL);
}

int ScriptedV4l2Device::Poll(pollfd* pFds, nfds_t nFds, int nTimeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto ready = [&] {
        int n = 0;
        for (nfds_t i = 0; i < nFds; ++i) {
            Camera* pCamera = CameraOf(pFds[i].fd);
            short revents = 0;
            if (!pCamera)
                revents = POLLNVAL;
            else if (pCamera->bUnplugged)
                revents = POLLERR | POLLHUP;
            else if (pCamera->nDequeueError)
                revents = POLLERR;
            else if (!pCamera->done.empty())
                revents = POLLIN;
            pFds[i].revents = revents;
            n += revents != 0;
        }
        return n;
    };
    int n = ready();
    for (nfds_t i = 0; i < nFds && n == 0; ++i) {
        Camera* pCamera = CameraOf(pFds[i].fd);
        if (pCamera && pCamera->bStalled) return 0;
    }
    if (n == 0) {
        m_cv.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), [&] { return ready() != 0; });
        n = ready();
    }
    return n;
}

bool ScriptedV4l2Device::Deliver(int nDriver, const std::vector<uint8_t>& frame,
                                 uint32_t nBytesUsed) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_cameras.find(nDriver);
    if (it == m_cameras.end()) return false;
    Camera& camera = it->second;
    if (!camera.bStreaming || camera.queued.empty() || camera.bUnplugged) return false;
    const uint32_t index = camera.queued.front();
    camera.queued.erase(camera.queued.begin());
    Buffer& b = camera.buffers[index];
    const size_t nRow = static_cast<size_t>(camera.nWidth) * 3;
    std::memset(b.p.get(), PADDING_POISON, b.nLength);
    for (uint32_t y = 0; y < camera.nHeight && (y + 1) * nRow <= frame.size(); ++y)
        std::memcpy(b.p.get() + y * Stride(camera), frame.data() + y * nRow, nRow);
    b.nBytesUsed = nBytesUsed ? nBytesUsed : b.nLength;
    camera.done.push_back(index);
    m_cv.notify_all();
    return true;
}

void ScriptedV4l2Device::FailNextDequeue(int nDriver, int nError) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cameras[nDriver].nDequeueError = nError;
    m_cv.notify_all();
}

void ScriptedV4l2Device::Unplug(int nDriver) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cameras[nDriver].bUnplugged = true;
    m_cv.notify_all();
}

void ScriptedV4l2Device::Stall(int nDriver) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cameras[nDriver].bStalled = true;
    m_cv.notify_all();
}

bool ScriptedV4l2Device::Streaming(int nDriver) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_cameras.find(nDriver);
    return it != m_cameras.end() && it->second.bStreaming;
}

uint32_t ScriptedV4l2Device::FrameIntervalMs(int nDriver) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_cameras.find(nDriver);
    return it == m_cameras.end() ? 0 : it->second.nIntervalMs;
}

int ScriptedV4l2Device::OpenDescriptors() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_fds.size());
}

int ScriptedV4l2Device::Mappings() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nMappings;
}
