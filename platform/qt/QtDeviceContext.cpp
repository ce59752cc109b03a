#include "platform/qt/QtDeviceContext.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/qt/QtDibRows.h"
#include "platform/qt/QtFontFaces.h"

namespace {

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// Reads pixels of a packed bitmap by top-down row; rows are exactly
// width x bytes per pixel, and only rows inside the bitmap are ever read.
class DibReader {
public:
    DibReader(const BITMAPINFO* bmi, const void* bits)
        : m_bits(static_cast<const uint8_t*>(bits)),
          m_width(bmi->bmiHeader.biWidth),
          m_height(std::abs(static_cast<int64_t>(bmi->bmiHeader.biHeight))),
          m_bottomUp(bmi->bmiHeader.biHeight > 0),
          m_bitCount(bmi->bmiHeader.biBitCount),
          m_rowBytes(PackedRowBytes(bmi->bmiHeader.biWidth, bmi->bmiHeader.biBitCount)) {
        if (m_bitCount == 8) {
            const uint32_t used = bmi->bmiHeader.biClrUsed;
            const int count = used == 0 || used > 256 ? 256 : static_cast<int>(used);
            for (int i = 0; i < 256; ++i) {
                const RGBQUAD& q = bmi->bmiColors[i < count ? i : 0];
                m_palette[i] = i < count ? qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue) : qRgb(0, 0, 0);
            }
            m_bGreyRamp = IsGreyRamp(m_palette);
        }
    }

    int64_t Width() const { return m_width; }
    int64_t Height() const { return m_height; }

    // Pixels [x, x + count) of top-down row y as 0xFFRRGGBB.
    void ReadRow(int64_t y, int64_t x, int count, QRgb* out) const {
        const uint8_t* row = m_bits + (m_bottomUp ? m_height - 1 - y : y) * m_rowBytes;
        if (m_bitCount == 24)
            BgrRowToRgb32(row + x * 3, out, count);
        else if (m_bGreyRamp)
            GreyRowToRgb32(row + x, out, count);
        else
            IndexedRowToRgb32(row + x, out, count, m_palette);
    }

private:
    const uint8_t* m_bits;
    int64_t m_width;
    int64_t m_height;
    bool m_bottomUp;
    int m_bitCount;
    int64_t m_rowBytes;
    QRgb m_palette[256] = {};
    bool m_bGreyRamp = false;
};

bool DirectFormat(QImage::Format f) {
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
           f == QImage::Format_ARGB32_Premultiplied;
}

Qt::PenStyle ToQtPenStyle(int style) {
    switch (style) {
        case 1:
            return Qt::DashLine;
        case 2:
            return Qt::DotLine;
        case 3:
            return Qt::DashDotLine;
        case 4:
            return Qt::DashDotDotLine;
        case 5:
            return Qt::NoPen;
        default:
            return Qt::SolidLine;
    }
}

QFont MakeFont(const Font& f) {
    QFont font(StandInFace(QString::fromUtf8(f.strFace.c_str())));
    // A negative height is the character height, a positive one the cell
    // height (character plus internal leading), 0 a default size.
    int pixels = f.nHeight == 0 ? 12 : std::abs(f.nHeight);
    font.setPixelSize(std::max(1, pixels));
    if (f.nHeight > 0) {
        const int cell = QFontMetrics(font).height();
        if (cell > 0 && cell != f.nHeight)
            font.setPixelSize(
                std::max(1, static_cast<int>(std::lround(double(pixels) * pixels / cell))));
    }
    if (f.nWidth > 0) {
        const int average = QFontMetrics(font).averageCharWidth();
        if (average > 0) font.setStretch(std::clamp(100 * f.nWidth / average, 1, 4000));
    }
    return font;
}

}  // namespace

QtDeviceContext::QtDeviceContext(QImage& image) : m_image(&image) {}

int QtDeviceContext::StretchDIBits(int xDest, int yDest, int cxDest, int cyDest, int xSrc, int ySrc,
                                   int cxSrc, int cySrc, const void* bits, const BITMAPINFO* bmi,
                                   uint32_t /*usage*/, uint32_t /*rop*/) {
    if (!bits || !bmi || m_image->isNull()) return 0;
    const BITMAPINFOHEADER& header = bmi->bmiHeader;
    if ((header.biBitCount != 8 && header.biBitCount != 24) || header.biCompression != BI_RGB ||
        header.biWidth <= 0 || header.biHeight == 0)
        return 0;
    if (cxSrc <= 0 || cySrc <= 0 || cxDest <= 0 || cyDest <= 0) return 0;

    const DibReader dib(bmi, bits);
    // The source rectangle's origin counts from the bitmap's bottom row when
    // it is stored bottom-up; here everything is in top-down rows.
    const int64_t sx = xSrc;
    const int64_t sy = header.biHeight > 0 ? dib.Height() - ySrc - cySrc : ySrc;

    if (cxSrc != cxDest || cySrc != cyDest) {
        // Scaled copy: the part of the source inside the bitmap, stretched by QPainter.
        const int64_t x0 = std::max<int64_t>(sx, 0), y0 = std::max<int64_t>(sy, 0);
        const int64_t x1 = std::min<int64_t>(sx + cxSrc, dib.Width());
        const int64_t y1 = std::min<int64_t>(sy + cySrc, dib.Height());
        if (x1 <= x0 || y1 <= y0) return 0;
        QImage part(static_cast<int>(x1 - x0), static_cast<int>(y1 - y0), QImage::Format_RGB32);
        for (int64_t y = y0; y < y1; ++y)
            dib.ReadRow(y, x0, part.width(), reinterpret_cast<QRgb*>(part.scanLine(int(y - y0))));
        QPainter painter(m_image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QRect(xDest, yDest, cxDest, cyDest), part);
        return cySrc;
    }

    // One to one: offsets i, j into the rectangle that land inside both the
    // bitmap and the image.
    const int64_t i0 = std::max<int64_t>({0, -sx, -int64_t{xDest}});
    const int64_t i1 =
        std::min<int64_t>({cxSrc, dib.Width() - sx, m_image->width() - int64_t{xDest}});
    const int64_t j0 = std::max<int64_t>({0, -sy, -int64_t{yDest}});
    const int64_t j1 =
        std::min<int64_t>({cySrc, dib.Height() - sy, m_image->height() - int64_t{yDest}});
    if (i1 <= i0 || j1 <= j0) return 0;
    const int columns = static_cast<int>(i1 - i0);

    if (DirectFormat(m_image->format())) {
        // scanLine() would ask the image to detach on every row.
        uchar* bits = m_image->bits();
        const qsizetype stride = m_image->bytesPerLine();
        for (int64_t j = j0; j < j1; ++j) {
            auto* line = reinterpret_cast<QRgb*>(bits + (yDest + j) * stride);
            dib.ReadRow(sy + j, sx + i0, columns, line + xDest + i0);
        }
    } else {
        QImage part(columns, static_cast<int>(j1 - j0), QImage::Format_RGB32);
        for (int64_t j = j0; j < j1; ++j)
            dib.ReadRow(sy + j, sx + i0, columns,
                        reinterpret_cast<QRgb*>(part.scanLine(int(j - j0))));
        QPainter painter(m_image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(static_cast<int>(xDest + i0), static_cast<int>(yDest + j0)), part);
    }
    return static_cast<int>(j1 - j0);
}

Pen QtDeviceContext::SelectPen(const Pen& pen) {
    const Pen old = m_pen;
    m_pen = pen;
    return old;
}

void QtDeviceContext::MoveTo(int x, int y) { m_pos = QPoint(x, y); }

void QtDeviceContext::LineTo(int x, int y) {
    const QPoint to(x, y);
    if (!m_image->isNull()) {
        QPainter painter(m_image);
        QPen pen(ToQColor(m_pen.crColor), std::max(1, m_pen.nWidth), ToQtPenStyle(m_pen.nStyle),
                 Qt::SquareCap, Qt::MiterJoin);
        painter.setPen(pen);
        painter.drawLine(m_pos, to);
    }
    m_pos = to;
}

void QtDeviceContext::Rectangle(int left, int top, int right, int bottom) {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (right - left < 1 || bottom - top < 1 || m_image->isNull()) return;
    QPainter painter(m_image);
    painter.setPen(QPen(ToQColor(m_pen.crColor), std::max(1, m_pen.nWidth),
                        ToQtPenStyle(m_pen.nStyle), Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    // The outline runs along the rectangle's inside: right and bottom are excluded.
    painter.drawRect(QRect(left, top, right - left - 1, bottom - top - 1));
}

COLORREF QtDeviceContext::SetTextColor(COLORREF color) {
    const COLORREF old = m_textColor;
    m_textColor = color;
    return old;
}

int QtDeviceContext::SetBkMode(int mode) {
    const int old = m_nBkMode;
    m_nBkMode = mode;
    return old;
}

Font QtDeviceContext::SelectFont(const Font& font) {
    const Font old = m_font;
    m_font = font;
    m_bFontMade = false;
    return old;
}

void QtDeviceContext::TextOut(int x, int y, std::string_view text) {
    if (m_image->isNull() || text.empty()) return;
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (!m_bFontMade) {
        m_qfont = MakeFont(m_font);
        m_bFontMade = true;
    }
    const QFont& font = m_qfont;
    const QFontMetrics metrics(font);
    QPainter painter(m_image);
    painter.setFont(font);
    // (x, y) is the text's top-left corner; an opaque background fills its cell.
    if (m_nBkMode != TRANSPARENT)
        painter.fillRect(QRect(x, y, metrics.horizontalAdvance(s), metrics.height()), Qt::white);
    painter.setPen(ToQColor(m_textColor));
    painter.drawText(QPoint(x, y + metrics.ascent()), s);
}
