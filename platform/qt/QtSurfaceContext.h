#pragma once
// The drawing surface of a show window: hands every call to the device
// context that paints the window's backing image and reports the rectangle
// each call may have changed, so the window repaints only that.

#include <QImage>
#include <QRect>
#include <functional>
#include <memory>

#include "platform/DeviceContext.h"

class QtSurfaceContext final : public IDeviceContext {
public:
    using DirtyFn = std::function<void(const QRect&)>;

    explicit QtSurfaceContext(DirtyFn onDirty);

    // The context that paints the backing image; replaced when the image is.
    // The selected pen and font and the text settings carry over.
    void SetTarget(std::unique_ptr<IDeviceContext> target);
    // Gives the backing image a new size, keeping what still fits (black
    // elsewhere), and paints the new image from then on. False when the size
    // is empty or unchanged, and nothing was done.
    bool ResizeSurface(QImage& surface, const QSize& size);

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

private:
    void MarkLine(int x0, int y0, int x1, int y1);

    DirtyFn m_onDirty;
    std::unique_ptr<IDeviceContext> m_target;
    Pen m_pen;
    Font m_font;
    COLORREF m_textColor = RGB(0, 0, 0);
    int m_nBkMode = OPAQUE;
    int m_x = 0;
    int m_y = 0;
};
