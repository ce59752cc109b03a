#include "video/AviControl.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/MessageBox.h"

namespace {

bool ValidIndex(int index) { return index >= 0 && index < MAX_CLIP_SEGMENTS; }

// Seconds times rate, truncated toward zero; the clamping before it keeps the
// value within the stream, and anything unrepresentable (no rate yet) is 0.
uint32_t ToFrameNumber(double frames) {
    if (!(frames >= 0.0)) return 0;
    if (frames >= static_cast<double>(std::numeric_limits<uint32_t>::max()))
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(frames);
}

}  // namespace

// Entries start zeroed, so one used before SetSegment reads no garbage.
CAviControl::CAviControl() : m_segments{} {}

// Owners never call Close, so an open clip is released here.
CAviControl::~CAviControl() { Close(); }

double CAviControl::Open(const char* path) {
    std::unique_ptr<IVideoFile> file = path ? platform::VideoFiles().Open(path) : nullptr;
    if (!file) return 0.0;

    // A clip opened over an earlier one replaces it.
    Close();
    m_source.streamInfo = VideoStreamInfo{};
    m_source.dFramesPerSec = 0.0;
    m_source.pFile = std::move(file);
    m_source.fileInfo = m_source.pFile->Info();

    // The last video stream wins, even when it brings no decoder.
    for (uint32_t n = 0; n < m_source.fileInfo.dwStreams; ++n) {
        std::unique_ptr<IVideoStream> stream = m_source.pFile->GetStream(n);
        if (!stream) continue;
        VideoStreamInfo info = stream->Info();
        if (info.fccType != streamtypeVIDEO) continue;
        m_source.pGetFrame.reset();
        m_source.pStream = std::move(stream);
        m_source.streamInfo = info;
        m_source.pGetFrame = m_source.pStream->OpenFrameReader();
    }

    if (!m_source.pGetFrame) {
        platform::MessageBox().Show("Don't find codepack");
        return 0.0;
    }

    const uint8_t* frame = m_source.pGetFrame->GetFrame(0);
    if (!frame) return 0.0;
    BITMAPINFOHEADER header;
    std::memcpy(&header, frame, sizeof header);
    if (header.biBitCount != 24 || header.biWidth <= 0 || header.biHeight <= 0) return 0.0;
    if (m_source.fileInfo.dwRate == 0 || m_source.fileInfo.dwScale == 0) return 0.0;

    m_bmi = BITMAPINFO{};
    m_bmi.bmiHeader = header;
    // Draws and copies use the file's frame size; the frames themselves are
    // authoritative, so a file header that disagrees cannot make a copy
    // read past a frame.
    m_source.fileInfo.dwWidth = static_cast<uint32_t>(header.biWidth);
    m_source.fileInfo.dwHeight = static_cast<uint32_t>(header.biHeight);

    m_source.dFramesPerSec = m_source.fileInfo.dwRate * 1.0 / m_source.fileInfo.dwScale;
    return m_source.dFramesPerSec;
}

void CAviControl::Close() {
    m_source.pGetFrame.reset();
    m_source.pStream.reset();
    m_source.pFile.reset();
}

bool CAviControl::SetSegment(int index, const char* name, double start, double end) {
    if (!ValidIndex(index)) return false;

    const double fps = m_source.dFramesPerSec;
    const double length = m_source.streamInfo.dwLength * 1.0 / fps;

    if (start < 0) start = 0;
    if (!(start < length)) start = length;
    if (end < start) end = start;
    if (!(end < length)) end = length;

    ClipSegment& segment = m_segments[index];
    segment.dwFirstFrame = ToFrameNumber(start * fps);
    segment.dwLastFrame = ToFrameNumber(end * fps);
    segment.dwCursor = segment.dwFirstFrame;

    if (!name) return false;
    const size_t bytes = std::strlen(name) + 1;
    if (bytes > sizeof segment.szName) return false;
    std::memcpy(segment.szName, name, bytes);
    return true;
}

int CAviControl::DrawFrame(int index, IDeviceContext* dc, int x, int y) {
    if (!ValidIndex(index)) return -1;
    ClipSegment& segment = m_segments[index];
    if (segment.dwCursor > segment.dwLastFrame) return -1;
    if (!dc) return static_cast<int>(segment.dwCursor);

    // A frame the reader cannot deliver is skipped, so the segment still ends.
    if (!dc->Shows()) {
        ReachFrame(index);
    } else if (const uint8_t* frame = FrameAtCursor(index)) {
        const int width = GetWidth();
        const int height = GetHeight();
        dc->StretchDIBits(x, y, width, height, 0, 0, width, height, frame + m_bmi.bmiHeader.biSize,
                          &m_bmi, DIB_RGB_COLORS, SRCCOPY);
    }
    ++segment.dwCursor;
    return static_cast<int>(segment.dwCursor);
}

void CAviControl::ResetSegment(int index) {
    if (!ValidIndex(index)) return;
    m_segments[index].dwCursor = m_segments[index].dwFirstFrame;
}

void CAviControl::SkipFrames(int index, uint32_t count) {
    if (!ValidIndex(index)) return;
    ClipSegment& segment = m_segments[index];
    const uint32_t target = segment.dwCursor + count;  // wraps as the unsigned sum does
    if (target <= segment.dwLastFrame) segment.dwCursor = target;
}

std::unique_ptr<IFrameReader> CAviControl::OpenFrameReader(FrameReaderUse use) {
    if (!m_source.pStream) return nullptr;
    return m_source.pStream->OpenFrameReader(use);
}

std::unique_ptr<IFrameReader> CAviControl::ExchangeFrameReader(
    std::unique_ptr<IFrameReader> reader) {
    std::swap(reader, m_source.pGetFrame);
    return reader;
}

std::pair<int, int> CAviControl::GetFrameSize(int& width, int& height) const {
    width = GetWidth();
    height = GetHeight();
    return {width, height};
}

int CAviControl::GetWidth() const { return static_cast<int>(m_source.fileInfo.dwWidth); }

int CAviControl::GetHeight() const { return static_cast<int>(m_source.fileInfo.dwHeight); }

void CAviControl::GetFrameRGB(uint8_t* dst, int index) {
    const uint8_t* frame = FrameAtCursor(index);
    if (!frame || !dst) return;
    FlipSwapCopy(frame + m_bmi.bmiHeader.biSize, dst, GetWidth(), GetHeight());
}

void CAviControl::GetFrameChannel(uint8_t* dst, int index) {
    if (ValidIndex(index)) GetChannelOfFrame(dst, m_segments[index].dwCursor);
}

void CAviControl::GetChannelOfFrame(uint8_t* dst, uint32_t frame) {
    const uint8_t* pixels = FrameAt(frame);
    if (!pixels || !dst) return;
    ExtractChannel(pixels + m_bmi.bmiHeader.biSize, dst, GetWidth(), GetHeight(), 1);
}

bool CAviControl::ReachFrame(int index) {
    if (!ValidIndex(index) || !m_source.pGetFrame) return false;
    return m_source.pGetFrame->ReachFrame(m_segments[index].dwCursor);
}

void CAviControl::GetFrameRegion(uint8_t* dst, int index, int x, int y, int cx, int cy) {
    // The source is the decoder's buffer: a rectangle outside the frame would
    // read past it, so such a request copies nothing.
    const int64_t x1 = static_cast<int64_t>(x) + cx;
    const int64_t y1 = static_cast<int64_t>(y) + cy;
    if (x < 0 || y < 0 || cx < 0 || cy < 0 || x1 > GetWidth() || y1 > GetHeight()) return;
    const uint8_t* frame = FrameAtCursor(index);
    if (!frame || !dst) return;
    ExtractChannelRegion(frame + m_bmi.bmiHeader.biSize, dst, GetWidth(), GetHeight(), x, y,
                         static_cast<int>(x1), static_cast<int>(y1), 1);
}

// The frame at the segment's cursor, or of that number, or null when none can
// be delivered or it does not have the layout captured at Open.
const uint8_t* CAviControl::FrameAtCursor(int index) {
    if (!ValidIndex(index)) return nullptr;
    return FrameAt(m_segments[index].dwCursor);
}

const uint8_t* CAviControl::FrameAt(uint32_t number) {
    if (!m_source.pGetFrame) return nullptr;
    const uint8_t* frame = m_source.pGetFrame->GetFrame(number);
    if (!frame) return nullptr;
    BITMAPINFOHEADER header;
    std::memcpy(&header, frame, sizeof header);
    const BITMAPINFOHEADER& expected = m_bmi.bmiHeader;
    if (header.biSize != expected.biSize || header.biWidth != expected.biWidth ||
        header.biHeight != expected.biHeight || header.biBitCount != expected.biBitCount)
        return nullptr;
    return frame;
}
