#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <vector>

#include "platform/qt/QtDeviceContext.h"
#include "platform/qt/QtMessageBox.h"

namespace {

void EnsureApp() {
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QApplication(argc, argv);
}

// A packed 24-bit bottom-up bitmap whose top-down pixel (x, y) is
// (red x*40+1, green y*50+2, blue 200); the buffer is exactly its rows, so
// any read past them is caught by AddressSanitizer.
struct Dib24 {
    Dib24(int w, int h) : bits(static_cast<size_t>(w) * 3 * h) {
        bmi.bmiHeader.biSize = 40;
        bmi.bmiHeader.biWidth = w;
        bmi.bmiHeader.biHeight = h;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 24;
        bmi.bmiHeader.biCompression = BI_RGB;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = &bits[(static_cast<size_t>(h - 1 - y) * w + x) * 3];
                p[0] = 200;
                p[1] = static_cast<uint8_t>(y * 50 + 2);
                p[2] = static_cast<uint8_t>(x * 40 + 1);
            }
    }
    static QRgb Expected(int x, int y) { return qRgb(x * 40 + 1, y * 50 + 2, 200); }
    BITMAPINFO bmi{};
    std::vector<uint8_t> bits;
};

QImage Blank(int w, int h, QImage::Format format = QImage::Format_RGB32) {
    QImage image(w, h, format);
    image.fill(Qt::black);
    return image;
}

// Every pixel of the image: the bitmap's where it should have landed, black elsewhere.
void ExpectBlitAt(const QImage& image, int x0, int y0, int w, int h) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int bx = x - x0, by = y - y0;
            const bool inside = bx >= 0 && by >= 0 && bx < w && by < h;
            const QRgb want = inside ? Dib24::Expected(bx, by) : qRgb(0, 0, 0);
            ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, want & 0xFFFFFF) << "at " << x << "," << y;
        }
}

TEST(QtDeviceContext, BitmapLandsUnscaledAndIsCutAtTheEdges) {
    EnsureApp();
    const Dib24 dib(5, 3);  // rows of 15 bytes
    struct {
        int x, y, rows;
    } const cases[] = {{4, 2, 3}, {-2, -1, 2}, {17, 8, 2}, {-5, 0, 0}, {0, 10, 0}, {18, -2, 1}};
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "at " << c.x << "," << c.y << " format " << format);
            QImage image = Blank(20, 10, format);
            QtDeviceContext dc(image);
            EXPECT_EQ(dc.StretchDIBits(c.x, c.y, 5, 3, 0, 0, 5, 3, dib.bits.data(), &dib.bmi),
                      c.rows);
            ExpectBlitAt(image, c.x, c.y, 5, 3);
        }
    }
}

TEST(QtDeviceContext, EightBitBitmapsUseTheirColourTable) {
    EnsureApp();
    std::vector<uint8_t> storage(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* bmi = reinterpret_cast<BITMAPINFO*>(storage.data());
    bmi->bmiHeader.biSize = 40;
    bmi->bmiHeader.biWidth = 3;
    bmi->bmiHeader.biHeight = 2;
    bmi->bmiHeader.biPlanes = 1;
    bmi->bmiHeader.biBitCount = 8;
    bmi->bmiHeader.biCompression = BI_RGB;
    for (int i = 0; i < 256; ++i)
        bmi->bmiColors[i] = RGBQUAD{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7, 0};
    const std::vector<uint8_t> bits = {10, 20, 30, 40, 50, 60};  // bottom row first, 3-byte rows

    QImage image = Blank(4, 3);
    QtDeviceContext dc(image);
    EXPECT_EQ(dc.StretchDIBits(1, 1, 3, 2, 0, 0, 3, 2, bits.data(), bmi), 2);
    const int top[] = {40, 50, 60}, bottom[] = {10, 20, 30};
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(image.pixel(1 + x, 1) & 0xFFFFFF, qRgb(7, 255 - top[x], top[x]) & 0xFFFFFF);
        EXPECT_EQ(image.pixel(1 + x, 2) & 0xFFFFFF, qRgb(7, 255 - bottom[x], bottom[x]) & 0xFFFFFF);
    }
    EXPECT_EQ(image.pixel(0, 1) & 0xFFFFFF, 0u);
}

TEST(QtDeviceContext, RefusedBitmapsDrawNothing) {
    EnsureApp();
    Dib24 dib(4, 4);
    QImage image = Blank(8, 8);
    QtDeviceContext dc(image);
    EXPECT_EQ(dc.StretchDIBits(0, 0, 4, 4, 0, 0, 4, 4, nullptr, &dib.bmi), 0);
    EXPECT_EQ(dc.StretchDIBits(0, 0, 4, 4, 0, 0, 4, 4, dib.bits.data(), nullptr), 0);
    dib.bmi.bmiHeader.biBitCount = 32;
    EXPECT_EQ(dc.StretchDIBits(0, 0, 4, 4, 0, 0, 4, 4, dib.bits.data(), &dib.bmi), 0);
    EXPECT_EQ(image, Blank(8, 8));
}

TEST(QtDeviceContext, PenLinesAndOutlines) {
    EnsureApp();
    QImage image = Blank(12, 12);
    QtDeviceContext dc(image);
    dc.SelectPen(Pen{PS_SOLID, 1, RGB(255, 0, 0)});
    const Pen old = dc.SelectPen(Pen{PS_SOLID, 1, RGB(0, 255, 0)});
    EXPECT_EQ(old.crColor, RGB(255, 0, 0));
    dc.MoveTo(1, 1);
    dc.LineTo(8, 1);
    dc.LineTo(8, 4);  // continues from where the last line ended
    EXPECT_EQ(image.pixel(1, 1), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(5, 1), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(8, 3), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(5, 2), qRgb(0, 0, 0));

    dc.SelectPen(Pen{PS_SOLID, 1, RGB(0, 0, 255)});
    dc.Rectangle(2, 6, 7, 11);
    EXPECT_EQ(image.pixel(2, 6), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(6, 10), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(4, 8), qRgb(0, 0, 0));   // not filled
    EXPECT_EQ(image.pixel(7, 11), qRgb(0, 0, 0));  // right and bottom excluded

    const QImage before = image;
    dc.Rectangle(3, 3, 3, 9);
    EXPECT_EQ(image, before);
}

int CountColour(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

TEST(QtDeviceContext, TextWithFontColourAndBackground) {
    EnsureApp();
    auto render = [](const char* face, int mode) {
        QImage image = Blank(120, 40);
        QtDeviceContext dc(image);
        dc.SelectFont(Font{-24, 0, DEFAULT_CHARSET, face});
        dc.SetTextColor(RGB(255, 255, 0));
        dc.SetBkMode(mode);
        dc.TextOut(4, 4, "가 12");
        return image;
    };
    const QImage opaque = render("NanumMyeongjo", OPAQUE);
    const QImage transparent = render("NanumMyeongjo", TRANSPARENT);
    EXPECT_GT(CountColour(transparent, qRgb(255, 255, 0)), 20);
    EXPECT_EQ(CountColour(transparent, qRgb(255, 255, 255)), 0);
    EXPECT_GT(CountColour(opaque, qRgb(255, 255, 255)), 100);
    // Nothing lands above or left of the text's corner.
    for (int x = 0; x < 120; ++x) ASSERT_EQ(transparent.pixel(x, 0) & 0xFFFFFF, 0u);
    // The Korean face of the program, missing here, is drawn with its stand-in.
    EXPECT_EQ(render("바탕체", TRANSPARENT), transparent);
    EXPECT_NE(render("NanumGothic", TRANSPARENT), transparent);
}

TEST(QtMessageBox, ShowsTheTextWithAnOkButton) {
    EnsureApp();
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->text();
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->accept();
    });
    QtMessageBox().Show("Don't find codepack");
    EXPECT_EQ(shown, "Don't find codepack");
}

}  // namespace
