#include "platform/v4l2/V4l2CaptureWindow.h"

#include <fcntl.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/ErrnoText.h"

namespace {

// Frames larger than this on either side are refused: the packed copy is
// allocated from the size the camera reports.
constexpr uint32_t MAX_FRAME_SIDE = 8192;
constexpr uint32_t BUFFER_COUNT = 4;
constexpr uint32_t MAX_BUFFERS = 32;
// The stop flag is looked at between polls of this length.
constexpr int POLL_SLICE_MS = 20;
// A camera that sends nothing for this long has failed.
constexpr int FRAME_TIMEOUT_MS = 3000;

bool IsStreamError(int nError) { return nError != EAGAIN && nError != EINTR; }

}  // namespace

V4l2CaptureWindow::V4l2CaptureWindow(IV4l2Device& device, IFrameView* pView, bool bShown,
                                     HCAPWND hWnd)
    : m_device(device), m_delivery(hWnd, pView, bShown) {}

V4l2CaptureWindow::~V4l2CaptureWindow() { Disconnect(); }

bool V4l2CaptureWindow::IsCamera(IV4l2Device& device, int fd, v4l2_capability& cap) {
    cap = v4l2_capability{};
    if (device.Ioctl(fd, VIDIOC_QUERYCAP, &cap) < 0) return false;
    const uint32_t caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    return (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING);
}

std::string V4l2CaptureWindow::DevicePath(int nDriver) {
    return "/dev/video" + std::to_string(nDriver);
}

bool V4l2CaptureWindow::Connect(int nDriver) {
    Disconnect();
    if (nDriver < 0 || nDriver >= MAX_CAPTURE_DRIVERS) return false;
    const int fd = m_device.Open(DevicePath(nDriver).c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) return false;
    v4l2_capability cap;
    const bool bCamera = IsCamera(m_device, fd, cap);
    // Asking for no buffers claims nothing, but fails with EBUSY while another
    // program streams from the camera; other refusals show when streaming.
    v4l2_requestbuffers req{};
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (!bCamera || (m_device.Ioctl(fd, VIDIOC_REQBUFS, &req) < 0 && errno == EBUSY)) {
        m_device.Close(fd);
        return false;
    }
    m_fd = fd;
    m_nDriver = nDriver;
    return true;
}

void V4l2CaptureWindow::Disconnect() {
    StopStream();
    if (m_fd >= 0) m_device.Close(m_fd);
    m_fd = -1;
    m_nDriver = -1;
}

bool V4l2CaptureWindow::GetFormat(BITMAPINFOHEADER& header) {
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (m_fd < 0 || m_device.Ioctl(m_fd, VIDIOC_G_FMT, &fmt) < 0) return false;
    const v4l2_pix_format& pix = fmt.fmt.pix;
    header = BITMAPINFOHEADER{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = static_cast<int32_t>(std::min(pix.width, MAX_FRAME_SIDE + 1));
    header.biHeight = static_cast<int32_t>(std::min(pix.height, MAX_FRAME_SIDE + 1));
    header.biPlanes = 1;
    if (pix.pixelformat == V4L2_PIX_FMT_BGR24) {
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<uint32_t>(PackedRowBytes(header.biWidth, 24)) *
                             static_cast<uint32_t>(header.biHeight);
    } else {
        // Bit count 0: the format says how the pixels are coded.
        header.biBitCount = pix.width && pix.bytesperline
                                ? std::min<uint32_t>(32, 8 * pix.bytesperline / pix.width)
                                : 0;
        header.biCompression = pix.pixelformat;
        header.biSizeImage = pix.sizeimage;
    }
    return true;
}

bool V4l2CaptureWindow::SetFormat(const BITMAPINFOHEADER& header) {
    if (m_fd < 0 || m_thread.joinable() || header.biCompression != BI_RGB) return false;
    const int64_t nHeight = header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight;
    if (header.biWidth <= 0 || nHeight <= 0) return false;
    return AskBgr24(static_cast<uint32_t>(header.biWidth), static_cast<uint32_t>(nHeight));
}

// libv4l2 converts to packed 24-bit from whatever the camera sends; the
// answer keeps another format when it cannot.
bool V4l2CaptureWindow::AskBgr24(uint32_t nWidth, uint32_t nHeight) {
    if (nWidth > MAX_FRAME_SIDE || nHeight > MAX_FRAME_SIDE) return false;
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = nWidth;
    fmt.fmt.pix.height = nHeight;
    fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    if (m_device.Ioctl(m_fd, VIDIOC_S_FMT, &fmt) < 0) return false;
    return fmt.fmt.pix.pixelformat == V4L2_PIX_FMT_BGR24 && fmt.fmt.pix.width == nWidth &&
           fmt.fmt.pix.height == nHeight;
}

void V4l2CaptureWindow::AskFrameInterval() {
    if (m_nPreviewRateMs == 0) return;
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (m_device.Ioctl(m_fd, VIDIOC_G_PARM, &parm) < 0 ||
        !(parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME))
        return;
    parm.parm.capture.timeperframe.numerator = m_nPreviewRateMs;
    parm.parm.capture.timeperframe.denominator = 1000;
    // The camera picks its nearest interval; either way the preview runs.
    m_device.Ioctl(m_fd, VIDIOC_S_PARM, &parm);
}

uint32_t V4l2CaptureWindow::ReadFrameInterval() {
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (m_device.Ioctl(m_fd, VIDIOC_G_PARM, &parm) < 0 ||
        !(parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME))
        return 0;
    const v4l2_fract& t = parm.parm.capture.timeperframe;
    if (t.numerator == 0 || t.denominator == 0) return 0;
    const uint64_t nUs = uint64_t{1000000} * t.numerator / t.denominator;
    return static_cast<uint32_t>(std::min<uint64_t>(nUs, UINT32_MAX));
}

bool V4l2CaptureWindow::SetPreview(bool bPreview) {
    if (!bPreview) {
        StopStream();
        return true;
    }
    if (m_fd < 0) return false;
    if (m_thread.joinable()) {
        if (!m_bStop.load()) return true;
        StopStream();  // ended by a failure: start afresh
    }
    if (StartStream()) return true;
    std::fprintf(stderr, "camera %s cannot start its preview\n", DevicePath(m_nDriver).c_str());
    return false;
}

bool V4l2CaptureWindow::StartStream() {
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (m_device.Ioctl(m_fd, VIDIOC_G_FMT, &fmt) < 0) return false;
    if (fmt.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24) {
        if (!AskBgr24(fmt.fmt.pix.width, fmt.fmt.pix.height)) return false;
        if (m_device.Ioctl(m_fd, VIDIOC_G_FMT, &fmt) < 0) return false;
    }
    // Sizes and strides as the camera reports them after negotiation.
    const v4l2_pix_format& pix = fmt.fmt.pix;
    if (pix.width == 0 || pix.height == 0 || pix.width > MAX_FRAME_SIDE ||
        pix.height > MAX_FRAME_SIDE)
        return false;
    m_nWidth = pix.width;
    m_nHeight = pix.height;
    m_nStride = std::max(pix.bytesperline, 3 * pix.width);
    AskFrameInterval();
    m_nFrameIntervalUs = ReadFrameInterval();

    v4l2_requestbuffers req{};
    req.count = BUFFER_COUNT;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (m_device.Ioctl(m_fd, VIDIOC_REQBUFS, &req) < 0 || req.count == 0) return false;
    for (uint32_t i = 0; i < std::min(req.count, MAX_BUFFERS); ++i) {
        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        buf.index = i;
        if (m_device.Ioctl(m_fd, VIDIOC_QUERYBUF, &buf) < 0) break;
        void* p = m_device.Mmap(buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, buf.m.offset);
        if (p == MAP_FAILED) break;
        m_buffers.push_back(Buffer{p, buf.length});
        if (m_device.Ioctl(m_fd, VIDIOC_QBUF, &buf) < 0) break;
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (m_buffers.size() != std::min(req.count, MAX_BUFFERS) ||
        m_device.Ioctl(m_fd, VIDIOC_STREAMON, &type) < 0) {
        ReleaseBuffers();
        return false;
    }
    m_frame.assign(static_cast<size_t>(m_nWidth) * 3 * m_nHeight, 0);
    m_bStop.store(false);
    m_thread = std::thread(&V4l2CaptureWindow::Run, this);
    return true;
}

void V4l2CaptureWindow::StopStream() {
    if (!m_thread.joinable()) return;
    m_bStop.store(true);
    m_thread.join();
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    m_device.Ioctl(m_fd, VIDIOC_STREAMOFF, &type);
    ReleaseBuffers();
}

void V4l2CaptureWindow::ReleaseBuffers() {
    for (const Buffer& buffer : m_buffers) m_device.Munmap(buffer.p, buffer.nLength);
    m_buffers.clear();
    v4l2_requestbuffers req{};
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    m_device.Ioctl(m_fd, VIDIOC_REQBUFS, &req);
}

void V4l2CaptureWindow::ForgetView() {
    StopStream();
    m_delivery.ForgetView();
}

void V4l2CaptureWindow::Run() {
    const auto start = std::chrono::steady_clock::now();
    int nWaitedMs = 0;
    while (!m_bStop.load()) {
        pollfd pfd{m_fd, POLLIN, 0};
        const int nReady = m_device.Poll(&pfd, 1, POLL_SLICE_MS);
        if (nReady < 0 && IsStreamError(errno)) return Fail("cannot wait for frames", errno);
        if (nReady == 0 && (nWaitedMs += POLL_SLICE_MS) >= FRAME_TIMEOUT_MS)
            return Fail("sends no frames", ETIMEDOUT);
        if (nReady <= 0) continue;

        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        if (m_device.Ioctl(m_fd, VIDIOC_DQBUF, &buf) < 0) {
            const int nError = errno;
            // Ready with an error but nothing to dequeue: the camera is gone.
            if (IsStreamError(nError) || (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
                return Fail("stopped delivering frames", IsStreamError(nError) ? nError : EIO);
            continue;
        }
        nWaitedMs = 0;
        if (buf.index >= m_buffers.size()) return Fail("returned a buffer it was not given", EIO);
        if (!(buf.flags & V4L2_BUF_FLAG_ERROR)) {
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            Deliver(m_buffers[buf.index], buf.bytesused, static_cast<uint32_t>(elapsed.count()));
        }
        if (m_device.Ioctl(m_fd, VIDIOC_QBUF, &buf) < 0)
            return Fail("does not take its buffer back", errno);
    }
}

// Rows are copied one by one at the camera's stride into a packed bottom-up
// frame; rows the camera did not fill are black, and nothing past the bytes
// it reported is read.
void V4l2CaptureWindow::Deliver(const Buffer& buffer, uint32_t nBytesUsed, uint32_t nTimeMs) {
    const size_t nUsed = std::min<size_t>(nBytesUsed, buffer.nLength);
    const size_t nRowBytes = static_cast<size_t>(m_nWidth) * 3;
    const auto* pSrc = static_cast<const uint8_t*>(buffer.p);
    for (uint32_t y = 0; y < m_nHeight; ++y) {
        const size_t nFrom = static_cast<size_t>(y) * m_nStride;
        uint8_t* pDst = m_frame.data() + (m_nHeight - 1 - y) * nRowBytes;
        if (nFrom + nRowBytes <= nUsed)
            std::memcpy(pDst, pSrc + nFrom, nRowBytes);
        else
            std::memset(pDst, 0, nRowBytes);
    }
    m_delivery.Deliver(m_frame, static_cast<int>(m_nWidth), static_cast<int>(m_nHeight), nTimeMs);
}

// The thread ends; the last picture stays and the window can still be closed.
void V4l2CaptureWindow::Fail(const char* pszWhat, int nError) {
    m_bStop.store(true);
    std::fprintf(stderr, "camera %s %s (%s); the preview stops\n", DevicePath(m_nDriver).c_str(),
                 pszWhat, ErrnoText(nError).c_str());
}
