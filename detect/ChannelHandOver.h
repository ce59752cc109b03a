#pragma once
// Hands the red channel of the newest camera frame from the capture thread to
// the user-interface thread. The newest frame wins: one not yet taken when a
// newer one comes is dropped and counted, so nothing queues up however slow
// the taker is. Four one-channel buffers are made once: the capture thread
// fills its own and swaps it for the shared one under a short lock; the
// taker swaps the shared one in and keeps the one it had as the previous
// frame. The taking side copies nothing.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

class CChannelHandOver {
public:
    // Buffers for W x H frames, zero-filled; false when there is no memory
    // for them. Called before the capture thread publishes.
    bool Allocate(int W, int H);
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

    // Capture thread: takes the red channel, top-down, of a packed bottom-up
    // 24-bit W x H frame of nBytes. Shorter frames, and every frame before
    // Allocate, are ignored.
    void Publish(const uint8_t* pFrame, size_t nBytes);

    // User-interface thread: the newest frame published becomes the latest
    // taken; false when none has come since the last call.
    bool Take();
    // The latest frame taken, W x H bytes; zeros before the first. Valid
    // until the next Take.
    const uint8_t* Latest() const { return m_pLatest; }
    // The frame taken before it; null until two have been taken.
    const uint8_t* Previous() const { return m_nTaken >= 2 ? m_pPrevious : nullptr; }
    uint64_t Taken() const { return m_nTaken; }
    // The latest frame's place among all published, from 0.
    uint64_t LatestNumber() const { return m_nLatestNumber; }

    // Frames replaced before they were taken; any thread.
    uint64_t Dropped() const;

private:
    static constexpr int BUFFERS = 4;

    // Set by Allocate, before the capture thread runs.
    std::unique_ptr<uint8_t[]> m_buffers[BUFFERS];
    int m_nWidth = 0;
    int m_nHeight = 0;

    // The capture thread's only.
    uint8_t* m_pBack = nullptr;

    // Guarded by m_mutex.
    mutable std::mutex m_mutex;
    uint8_t* m_pShared = nullptr;
    bool m_bFresh = false;  // m_pShared holds a frame not taken yet
    uint64_t m_nPublished = 0;
    uint64_t m_nDropped = 0;

    // The user-interface thread's only.
    uint8_t* m_pLatest = nullptr;
    uint8_t* m_pPrevious = nullptr;
    uint64_t m_nTaken = 0;
    uint64_t m_nLatestNumber = 0;
};
