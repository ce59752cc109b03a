// Bitmap headers and the flip from top-down images to bottom-up display
// buffers, checked by drawing them.

#include <gtest/gtest.h>

#include <QImage>
#include <string>
#include <vector>

#include "detect/ShowWaveDlg.h"
#include "platform/qt/QtDeviceContext.h"

namespace {

// A top-down image flipped into its display buffer and drawn one to one with
// its header comes out as the image: grey through the colour table, colour in
// its channel order, at every width (rows are packed). The grey images hold
// all 256 levels, so a table allocated short is read past (AddressSanitizer),
// and the exact-size buffers catch a flip that writes or reads past them.
TEST(DisplayBuffers, HeaderAndFlippedBufferDrawTheImage) {
    struct Case {
        int w, h, bytesPerPixel;
    } const cases[] = {{320, 240, 1}, {44, 80, 1}, {321, 7, 1}, {5, 7, 1}, {1, 2, 1},
                       {320, 240, 3}, {44, 80, 3}, {321, 7, 3}, {5, 7, 3}, {1, 2, 3}};
    constexpr int X = 4, Y = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + "x" +
                     std::to_string(c.bytesPerPixel));
        const size_t rowBytes = static_cast<size_t>(c.w) * c.bytesPerPixel;
        std::vector<uint8_t> image(rowBytes * c.h);
        for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31 + i / 7);
        std::vector<uint8_t> view(image.size());
        CShowWaveDlg::FlipToView(image.data(), view.data(), c.w, c.h, c.bytesPerPixel);
        const BitmapInfoPtr bmi = CShowWaveDlg::MakeBitmapInfo(c.w, c.h, c.bytesPerPixel);
        ASSERT_TRUE(bmi);
        EXPECT_EQ(bmi->bmiHeader.biSize, sizeof(BITMAPINFOHEADER));
        EXPECT_EQ(bmi->bmiHeader.biSizeImage, view.size());

        QImage screen(c.w + 2 * X, c.h + 2 * Y, QImage::Format_RGB32);
        screen.fill(Qt::black);
        QtDeviceContext dc(screen);
        EXPECT_EQ(dc.StretchDIBits(X, Y, c.w, c.h, 0, 0, c.w, c.h, view.data(), bmi.get(),
                                   DIB_RGB_COLORS, SRCCOPY),
                  c.h);
        for (int y = 0; y < screen.height(); ++y) {
            for (int x = 0; x < screen.width(); ++x) {
                const int px = x - X, py = y - Y;
                QRgb expected = qRgb(0, 0, 0);
                if (px >= 0 && px < c.w && py >= 0 && py < c.h) {
                    const uint8_t* p = &image[py * rowBytes + px * c.bytesPerPixel];
                    expected =
                        c.bytesPerPixel == 1 ? qRgb(p[0], p[0], p[0]) : qRgb(p[0], p[1], p[2]);
                }
                ASSERT_EQ(screen.pixel(x, y), expected) << x << "," << y;
            }
        }
    }
}

TEST(DisplayBuffers, OtherByteCountsMakeNoHeaderAndCopyNothing) {
    EXPECT_FALSE(CShowWaveDlg::MakeBitmapInfo(320, 240, 2));
    EXPECT_FALSE(CShowWaveDlg::MakeBitmapInfo(320, 240, 4));
    const uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t view[8] = {};
    CShowWaveDlg::FlipToView(src, view, 2, 2, 2);
    CShowWaveDlg::FlipToView(src, view, 1, 2, 4);
    EXPECT_EQ(std::vector<uint8_t>(view, view + 8), std::vector<uint8_t>(8, 0));
}

}  // namespace
