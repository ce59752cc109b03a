#include "platform/qt/QtSurfaceContext.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstdlib>

#include "platform/qt/QtDeviceContext.h"

QtSurfaceContext::QtSurfaceContext(DirtyFn onDirty) : m_onDirty(std::move(onDirty)) {}

void QtSurfaceContext::SetTarget(std::unique_ptr<IDeviceContext> target) {
    m_target = std::move(target);
    if (!m_target) return;
    m_target->SelectPen(m_pen);
    m_target->SelectFont(m_font);
    m_target->SetTextColor(m_textColor);
    m_target->SetBkMode(m_nBkMode);
    m_target->MoveTo(m_x, m_y);
}

bool QtSurfaceContext::ResizeSurface(QImage& surface, const QSize& size) {
    if (size.isEmpty() || size == surface.size()) return false;
    QImage resized(size, QImage::Format_RGB32);
    resized.fill(Qt::black);
    if (!surface.isNull()) {
        QPainter painter(&resized);
        painter.drawImage(0, 0, surface);
    }
    surface = std::move(resized);
    SetTarget(std::make_unique<QtDeviceContext>(surface));
    return true;
}

int QtSurfaceContext::StretchDIBits(int xDest, int yDest, int cxDest, int cyDest, int xSrc,
                                    int ySrc, int cxSrc, int cySrc, const void* bits,
                                    const BITMAPINFO* bmi, uint32_t usage, uint32_t rop) {
    if (!m_target) return 0;
    const int nRows = m_target->StretchDIBits(xDest, yDest, cxDest, cyDest, xSrc, ySrc, cxSrc,
                                              cySrc, bits, bmi, usage, rop);
    if (nRows > 0) m_onDirty(QRect(xDest, yDest, cxDest, cyDest).normalized());
    return nRows;
}

Pen QtSurfaceContext::SelectPen(const Pen& pen) {
    const Pen old = m_pen;
    m_pen = pen;
    if (m_target) m_target->SelectPen(pen);
    return old;
}

void QtSurfaceContext::MoveTo(int x, int y) {
    m_x = x;
    m_y = y;
    if (m_target) m_target->MoveTo(x, y);
}

void QtSurfaceContext::LineTo(int x, int y) {
    if (m_target) m_target->LineTo(x, y);
    MarkLine(m_x, m_y, x, y);
    m_x = x;
    m_y = y;
}

void QtSurfaceContext::Rectangle(int left, int top, int right, int bottom) {
    if (m_target) m_target->Rectangle(left, top, right, bottom);
    if (left != right && top != bottom) MarkLine(left, top, right, bottom);
}

COLORREF QtSurfaceContext::SetTextColor(COLORREF color) {
    const COLORREF old = m_textColor;
    m_textColor = color;
    if (m_target) m_target->SetTextColor(color);
    return old;
}

int QtSurfaceContext::SetBkMode(int mode) {
    const int old = m_nBkMode;
    m_nBkMode = mode;
    if (m_target) m_target->SetBkMode(mode);
    return old;
}

Font QtSurfaceContext::SelectFont(const Font& font) {
    const Font old = m_font;
    m_font = font;
    if (m_target) m_target->SelectFont(font);
    return old;
}

void QtSurfaceContext::TextOut(int x, int y, std::string_view text) {
    if (m_target) m_target->TextOut(x, y, text);
    // A generous box: the painting context may pick another face or size.
    QFont font(QString::fromStdString(m_font.strFace));
    font.setPixelSize(std::max({std::abs(m_font.nHeight), 1, font.pixelSize()}));
    const QFontMetrics metrics(font);
    const QString str = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const int nWidth =
        metrics.horizontalAdvance(str) + std::abs(m_font.nWidth) * static_cast<int>(str.size());
    const int nHeight = std::max(metrics.height(), std::abs(m_font.nHeight));
    m_onDirty(QRect(x, y, nWidth, nHeight).adjusted(-nHeight, -nHeight, nHeight, nHeight));
}

void QtSurfaceContext::MarkLine(int x0, int y0, int x1, int y1) {
    const int nPad = std::max(m_pen.nWidth, 1) + 1;
    m_onDirty(QRect(QPoint(std::min(x0, x1), std::min(y0, y1)),
                    QPoint(std::max(x0, x1), std::max(y0, y1)))
                  .adjusted(-nPad, -nPad, nPad, nPad));
}
