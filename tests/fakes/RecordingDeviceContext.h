#pragma once
// Drawing surface that records every call: bitmap copies keep a copy of the
// header, the colour table (8-bit) and the pixel rows they were given, other
// calls a one-line description such as "LineTo 10 20".

#include <string>
#include <vector>

#include "platform/DeviceContext.h"

class RecordingDeviceContext final : public IDeviceContext {
public:
    struct Blit {
        int xDest, yDest, cxDest, cyDest, xSrc, ySrc, cxSrc, cySrc;
        uint32_t usage, rop;
        BITMAPINFOHEADER header;
        std::vector<RGBQUAD> colors;
        std::vector<uint8_t> bits;  // biHeight packed rows
    };

    int StretchDIBits(int xDest, int yDest, int cxDest, int cyDest, int xSrc, int ySrc, int cxSrc,
                      int cySrc, const void* bits, const BITMAPINFO* bmi, uint32_t usage,
                      uint32_t rop) override;
    Pen SelectPen(const Pen& pen) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Rectangle(int left, int top, int right, int bottom) override;
    COLORREF SetTextColor(COLORREF color) override;
    int SetBkMode(int mode) override;
    Font SelectFont(const Font& font) override;
    void TextOut(int x, int y, std::string_view text) override;
    bool Shows() const override { return bShows; }

    std::vector<Blit> blits;
    std::vector<std::string> calls;  // every call in order, blits as "StretchDIBits x y w h"
    Pen pen;
    Font font;
    COLORREF textColor = RGB(0, 0, 0);
    int bkMode = OPAQUE;
    bool bShows = true;  // false: a surface nobody sees
};
