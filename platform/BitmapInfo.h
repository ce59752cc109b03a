#pragma once
// Bitmap layouts that cross the platform contracts, laid out byte for byte as
// the published device-independent bitmap format, so a header captured from a
// decoded frame can be handed to a drawing surface unchanged.

#include <cstdint>

#pragma pack(push, 1)

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;  // positive: rows stored bottom-up
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};

// A header followed by its colour table; an 8-bit bitmap's table has 256
// entries that run on past the one declared here.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

#pragma pack(pop)

static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(BITMAPINFO) == 44);

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t DIB_RGB_COLORS = 0;
constexpr uint32_t SRCCOPY = 0x00CC0020;

// Bytes in one packed row: every bitmap this program handles has rows of
// exactly width x bytes per pixel, with no padding to a multiple of 4.
constexpr int64_t PackedRowBytes(int32_t width, int bitCount) {
    return static_cast<int64_t>(width) * (bitCount / 8);
}
