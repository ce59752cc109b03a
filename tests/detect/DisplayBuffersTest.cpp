// Bitmap headers and the flip from top-down images to bottom-up display buffers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detect/ShowWaveDlg.h"

namespace {

const RGBQUAD* ColorTable(const BITMAPINFO* bmi) {
    return reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(bmi) +
                                            sizeof(BITMAPINFOHEADER));
}

// Grey headers carry the whole ramp, colour headers no table; reading the
// table's last entry fails under ASan when the record is allocated short.
TEST(MakeBitmapInfo, HeaderFieldsAndColourTable) {
    struct Case {
        int w, h, bytesPerPixel, bitCount;
        uint32_t sizeImage, colours;
    } cases[] = {{320, 240, 1, 8, 76800, 256},
                 {44, 80, 1, 8, 3520, 256},
                 {320, 240, 3, 24, 230400, 0},
                 {44, 80, 3, 24, 10560, 0}};
    for (const Case& c : cases) {
        const BitmapInfoPtr bmi = CShowWaveDlg::MakeBitmapInfo(c.w, c.h, c.bytesPerPixel);
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + "x" +
                     std::to_string(c.bytesPerPixel));
        ASSERT_TRUE(bmi);
        const BITMAPINFOHEADER& h = bmi->bmiHeader;
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biWidth, c.w);
        EXPECT_EQ(h.biHeight, c.h);
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biBitCount, c.bitCount);
        EXPECT_EQ(h.biCompression, BI_RGB);
        EXPECT_EQ(h.biSizeImage, c.sizeImage);
        EXPECT_EQ(h.biXPelsPerMeter, 0);
        EXPECT_EQ(h.biYPelsPerMeter, 0);
        EXPECT_EQ(h.biClrUsed, c.colours);
        EXPECT_EQ(h.biClrImportant, c.colours);
        const RGBQUAD* table = ColorTable(bmi.get());
        for (uint32_t i = 0; i < c.colours; ++i) {
            EXPECT_EQ(table[i].rgbBlue, i);
            EXPECT_EQ(table[i].rgbGreen, i);
            EXPECT_EQ(table[i].rgbRed, i);
            EXPECT_EQ(table[i].rgbReserved, 0);
        }
    }
    EXPECT_FALSE(CShowWaveDlg::MakeBitmapInfo(320, 240, 2));
    EXPECT_FALSE(CShowWaveDlg::MakeBitmapInfo(320, 240, 4));
}

// Odd widths have packed rows: every pixel lands at its mirrored place and the
// exact-size buffers are neither overrun nor left partly unwritten.
TEST(FlipToView, OddWidthsEveryPixelAtItsMirroredPlace) {
    for (int bpp : {1, 3}) {
        for (int w : {1, 3, 5, 321}) {
            const int h = 7;
            const size_t rowBytes = static_cast<size_t>(w) * bpp;
            std::vector<uint8_t> src(rowBytes * h);
            for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 31 + 7);
            std::vector<uint8_t> view(src.size(), 0xEE);
            CShowWaveDlg::FlipToView(src.data(), view.data(), w, h, bpp);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const uint8_t* s = &src[y * rowBytes + x * bpp];
                    const uint8_t* d = &view[(h - 1 - y) * rowBytes + x * bpp];
                    for (int b = 0; b < bpp; ++b)
                        ASSERT_EQ(d[b], s[bpp - 1 - b])
                            << bpp << " bpp, w " << w << " at " << x << "," << y << " byte " << b;
                }
            }
        }
    }
}

TEST(FlipToView, OtherByteCountsCopyNothing) {
    const uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t view[8] = {};
    CShowWaveDlg::FlipToView(src, view, 2, 2, 2);
    CShowWaveDlg::FlipToView(src, view, 1, 2, 4);
    EXPECT_EQ(std::vector<uint8_t>(view, view + 8), std::vector<uint8_t>(8, 0));
}

}  // namespace
