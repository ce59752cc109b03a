#pragma once
// Drawing surface ("device context") of a window's client area.
//
// Callers rely on:
// - StretchDIBits copies a packed bitmap (rows of exactly width x bytes per
//   pixel, bottom-up, positive biHeight; 8-bit with its colour table or
//   24-bit blue-green-red) to the destination rectangle. Only the one-to-one
//   case (source and destination of the same size) is used; the result is
//   the number of rows copied, 0 on refusal. Parts outside the surface are
//   cut; nothing is read past the bitmap's last row.
// - A selected pen stays until another is selected; SelectPen and SelectFont
//   return what was selected before, so the caller can put it back.
// - MoveTo / LineTo draw with the current pen; TextOut writes with the current
//   font and text colour, over the background unless the mode is TRANSPARENT.
// Used on the user-interface thread only.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/BitmapInfo.h"

using COLORREF = uint32_t;  // 0x00BBGGRR

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<COLORREF>(r) | static_cast<COLORREF>(g) << 8 |
           static_cast<COLORREF>(b) << 16;
}
constexpr uint8_t GetRValue(COLORREF c) { return c & 0xFF; }
constexpr uint8_t GetGValue(COLORREF c) { return (c >> 8) & 0xFF; }
constexpr uint8_t GetBValue(COLORREF c) { return (c >> 16) & 0xFF; }

constexpr int PS_SOLID = 0;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
constexpr int DEFAULT_CHARSET = 1;

struct Pen {
    int nStyle = PS_SOLID;
    int nWidth = 1;
    COLORREF crColor = RGB(0, 0, 0);
};

struct Font {
    int nHeight = 0;
    int nWidth = 0;
    int nCharSet = DEFAULT_CHARSET;
    std::string strFace;  // UTF-8
};

class IDeviceContext {
public:
    virtual ~IDeviceContext() = default;

    virtual int StretchDIBits(int xDest, int yDest, int cxDest, int cyDest, int xSrc, int ySrc,
                              int cxSrc, int cySrc, const void* bits, const BITMAPINFO* bmi,
                              uint32_t usage = DIB_RGB_COLORS, uint32_t rop = SRCCOPY) = 0;

    virtual Pen SelectPen(const Pen& pen) = 0;
    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
    // Outline with the current pen; a rectangle of no width or height draws nothing.
    virtual void Rectangle(int left, int top, int right, int bottom) = 0;

    virtual COLORREF SetTextColor(COLORREF color) = 0;
    virtual int SetBkMode(int mode) = 0;
    virtual Font SelectFont(const Font& font) = 0;
    virtual void TextOut(int x, int y, std::string_view text) = 0;

    // False for a surface whose drawing nobody sees: a caller may then skip
    // the work that only makes a picture.
    virtual bool Shows() const { return true; }
};
