#pragma once
// Frame numbers written into pictures so that a decoded frame tells which
// frame it is, even through lossy codecs: 16 bits as black or white 16 x 16
// blocks along the top of the picture (which must be at least 128 x 32), and
// a pure red block to the right of them to show the colour order.

#include <cstdint>

constexpr int FRAME_STAMP_MIN_WIDTH = 160;
constexpr int FRAME_STAMP_MIN_HEIGHT = 32;

// Paints a top-down RGB24 picture with frame number `frame` (0..65535).
void PaintFrameStamp(int frame, uint8_t* rgb, int width, int height);

// Reads the number back from a packed bottom-up blue-green-red frame; -1
// when a block is neither clearly dark nor clearly bright.
int ReadFrameStamp(const uint8_t* bgrBottomUp, int width, int height);

// Mean blue, green and red of the red block of such a frame.
void ReadStampRed(const uint8_t* bgrBottomUp, int width, int height, double bgr[3]);
