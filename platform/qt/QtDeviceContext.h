#pragma once
// Drawing surface on a QImage (the backing image of a window, or any image a
// test reads back). Bitmap copies write the image's pixels directly when it
// holds 32-bit RGB, through QPainter otherwise; lines, outlines and text go
// through a QPainter opened for each call, so the owner may replace, copy or
// paint the image between calls.

#include <QFont>
#include <QImage>
#include <QPoint>

#include "platform/DeviceContext.h"

class QtDeviceContext final : public IDeviceContext {
public:
    explicit QtDeviceContext(QImage& image);

    int StretchDIBits(int xDest, int yDest, int cxDest, int cyDest, int xSrc, int ySrc, int cxSrc,
                      int cySrc, const void* bits, const BITMAPINFO* bmi,
                      uint32_t usage = DIB_RGB_COLORS, uint32_t rop = SRCCOPY) override;
    Pen SelectPen(const Pen& pen) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Rectangle(int left, int top, int right, int bottom) override;
    COLORREF SetTextColor(COLORREF color) override;
    int SetBkMode(int mode) override;
    Font SelectFont(const Font& font) override;
    void TextOut(int x, int y, std::string_view text) override;

private:
    QImage* m_image;
    Pen m_pen;
    Font m_font;
    QFont m_qfont;  // m_font as Qt draws it, made on first use
    bool m_bFontMade = false;
    COLORREF m_textColor = RGB(0, 0, 0);
    int m_nBkMode = OPAQUE;
    QPoint m_pos;
};
