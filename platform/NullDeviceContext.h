#pragma once
// A drawing surface that nobody sees: it keeps what is selected, as callers
// that put the old pen or font back expect, and draws nothing.

#include <utility>

#include "platform/DeviceContext.h"

class CNullDeviceContext final : public IDeviceContext {
public:
    int StretchDIBits(int, int, int, int, int, int, int, int, const void*, const BITMAPINFO*,
                      uint32_t, uint32_t) override {
        return 0;
    }
    Pen SelectPen(const Pen& pen) override { return std::exchange(m_pen, pen); }
    void MoveTo(int, int) override {}
    void LineTo(int, int) override {}
    void Rectangle(int, int, int, int) override {}
    COLORREF SetTextColor(COLORREF color) override { return std::exchange(m_textColor, color); }
    int SetBkMode(int mode) override { return std::exchange(m_nBkMode, mode); }
    Font SelectFont(const Font& font) override { return std::exchange(m_font, font); }
    void TextOut(int, int, std::string_view) override {}
    bool Shows() const override { return false; }

private:
    Pen m_pen;
    Font m_font;
    COLORREF m_textColor = RGB(0, 0, 0);
    int m_nBkMode = OPAQUE;
};
