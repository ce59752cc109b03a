#include "tests/fakes/RecordingDeviceContext.h"

#include <cstring>

namespace {

std::string Describe(const char* what, std::initializer_list<long long> values) {
    std::string s = what;
    for (long long v : values) s += " " + std::to_string(v);
    return s;
}

}  // namespace

int RecordingDeviceContext::StretchDIBits(int xDest, int yDest, int cxDest, int cyDest, int xSrc,
                                          int ySrc, int cxSrc, int cySrc, const void* bits,
                                          const BITMAPINFO* bmi, uint32_t usage, uint32_t rop) {
    calls.push_back(Describe("StretchDIBits", {xDest, yDest, cxDest, cyDest}));
    Blit blit{xDest, yDest, cxDest, cyDest, xSrc, ySrc, cxSrc, cySrc, usage, rop, {}, {}, {}};
    if (bmi) {
        blit.header = bmi->bmiHeader;
        if (blit.header.biBitCount == 8) {
            const uint32_t n = blit.header.biClrUsed ? blit.header.biClrUsed : 256;
            blit.colors.assign(bmi->bmiColors, bmi->bmiColors + n);
        }
        const int64_t rows =
            blit.header.biHeight < 0 ? -int64_t{blit.header.biHeight} : blit.header.biHeight;
        const int64_t size = PackedRowBytes(blit.header.biWidth, blit.header.biBitCount) * rows;
        if (bits && size > 0) {
            const auto* p = static_cast<const uint8_t*>(bits);
            blit.bits.assign(p, p + size);
        }
    }
    blits.push_back(std::move(blit));
    return bmi && bits ? cySrc : 0;
}

Pen RecordingDeviceContext::SelectPen(const Pen& newPen) {
    calls.push_back(Describe("SelectPen", {newPen.nStyle, newPen.nWidth, newPen.crColor}));
    Pen old = pen;
    pen = newPen;
    return old;
}

void RecordingDeviceContext::MoveTo(int x, int y) { calls.push_back(Describe("MoveTo", {x, y})); }

void RecordingDeviceContext::LineTo(int x, int y) { calls.push_back(Describe("LineTo", {x, y})); }

void RecordingDeviceContext::Rectangle(int left, int top, int right, int bottom) {
    calls.push_back(Describe("Rectangle", {left, top, right, bottom}));
}

COLORREF RecordingDeviceContext::SetTextColor(COLORREF color) {
    calls.push_back(Describe("SetTextColor", {color}));
    COLORREF old = textColor;
    textColor = color;
    return old;
}

int RecordingDeviceContext::SetBkMode(int mode) {
    calls.push_back(Describe("SetBkMode", {mode}));
    int old = bkMode;
    bkMode = mode;
    return old;
}

Font RecordingDeviceContext::SelectFont(const Font& newFont) {
    calls.push_back(Describe("SelectFont", {newFont.nHeight, newFont.nWidth}) + " " +
                    newFont.strFace);
    Font old = font;
    font = newFont;
    return old;
}

void RecordingDeviceContext::TextOut(int x, int y, std::string_view text) {
    calls.push_back(Describe("TextOut", {x, y}) + " " + std::string(text));
}
