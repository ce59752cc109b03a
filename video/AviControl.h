#pragma once
// Frame-by-frame access to one AVI clip: a table of 20 named segments with
// play cursors, unscaled drawing of a segment's next frame, and copies of the
// frame at a segment's cursor as top-down RGB or single-channel images.
// Every call is made on the thread that owns the window.

#include <cstdint>
#include <memory>
#include <utility>

#include "platform/BitmapInfo.h"
#include "platform/DeviceContext.h"
#include "video/ClipSegment.h"
#include "video/ClipSource.h"

constexpr int MAX_CLIP_SEGMENTS = 20;

class CAviControl {
public:
    CAviControl();
    virtual ~CAviControl();

    CAviControl(const CAviControl&) = delete;
    CAviControl& operator=(const CAviControl&) = delete;

    // Frames per second of the clip; 0.0 when it cannot be opened or played.
    double Open(const char* path);
    void Close();

    bool SetSegment(int index, const char* name, double start, double end);
    // -1 once the segment has run out, else the cursor after the call. On a
    // surface nobody sees the frame is only reached, not drawn.
    int DrawFrame(int index, IDeviceContext* dc, int x, int y);
    // Reads the frame at the segment's cursor without wanting its pixels
    // yet; false when it cannot be delivered.
    bool ReachFrame(int index);
    void ResetSegment(int index);
    void SkipFrames(int index, uint32_t count);

    std::pair<int, int> GetFrameSize(int& width, int& height) const;
    int GetWidth() const;
    int GetHeight() const;

    // Copies of the frame at the segment's cursor; the destination is left
    // untouched when that frame cannot be delivered.
    void GetFrameRGB(uint8_t* dst, int index);
    void GetFrameChannel(uint8_t* dst, int index);
    // The same for any frame of the stream.
    void GetChannelOfFrame(uint8_t* dst, uint32_t frame);
    void GetFrameRegion(uint8_t* dst, int index, int x, int y, int cx, int cy);

    // Transforms of packed 24-bit bottom-up blue-green-red frames.
    static void FlipSwapInPlace(uint8_t* buffer, int width, int height);
    static void FlipSwapCopy(const uint8_t* src, uint8_t* dst, int width, int height);
    static void ExtractChannel(const uint8_t* src, uint8_t* dst, int width, int height,
                               int channel);
    static void ExtractChannelRegion(const uint8_t* src, uint8_t* dst, int width, int height,
                                     int x0, int y0, int x1, int y1, int channel);

    // For an owner that fetches frames ahead of time: another reader on the
    // clip's video stream (null without one), and the exchange
    // of the reader frames are fetched through for another on the same
    // stream, which returns the one it replaces.
    std::unique_ptr<IFrameReader> OpenFrameReader(FrameReaderUse use);
    std::unique_ptr<IFrameReader> ExchangeFrameReader(std::unique_ptr<IFrameReader> reader);

    // Read-only views for owners and tests.
    const ClipSegment& Segment(int index) const { return m_segments[index]; }
    uint32_t StreamLength() const { return m_source.streamInfo.dwLength; }

private:
    const uint8_t* FrameAtCursor(int index);
    const uint8_t* FrameAt(uint32_t frame);

    ClipSource m_source;
    ClipSegment m_segments[MAX_CLIP_SEGMENTS];
    BITMAPINFO m_bmi{};
};
