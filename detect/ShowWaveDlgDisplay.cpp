// Display buffers and bitmap headers of the detection window.

#include <cstring>

#include "detect/ShowWaveDlg.h"
#include "platform/DeviceContext.h"

namespace {
constexpr int GRAY_TABLE_ENTRIES = 256;
}

BitmapInfoPtr CShowWaveDlg::MakeBitmapInfo(int w, int h, int nBytesPerPixel) {
    if (nBytesPerPixel != 1 && nBytesPerPixel != 3) return nullptr;

    const size_t nEntries = nBytesPerPixel == 1 ? GRAY_TABLE_ENTRIES : 1;
    const size_t nBytes = sizeof(BITMAPINFOHEADER) + nEntries * sizeof(RGBQUAD);
    BitmapInfoPtr bmi(static_cast<BITMAPINFO*>(std::calloc(1, nBytes)));
    if (!bmi) return nullptr;

    BITMAPINFOHEADER& hdr = bmi->bmiHeader;
    hdr.biSize = sizeof(BITMAPINFOHEADER);
    hdr.biWidth = w;
    hdr.biHeight = h;
    hdr.biPlanes = 1;
    hdr.biBitCount = static_cast<uint16_t>(8 * nBytesPerPixel);
    hdr.biCompression = BI_RGB;
    hdr.biSizeImage = static_cast<uint32_t>(static_cast<int64_t>(w) * h * nBytesPerPixel);
    if (nBytesPerPixel == 1) {
        hdr.biClrUsed = GRAY_TABLE_ENTRIES;
        hdr.biClrImportant = GRAY_TABLE_ENTRIES;
        // The table runs past the one entry that BITMAPINFO declares.
        auto* pTable = reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(bmi.get()) +
                                                  sizeof(BITMAPINFOHEADER));
        for (int i = 0; i < GRAY_TABLE_ENTRIES; ++i) {
            const auto level = static_cast<uint8_t>(i);
            pTable[i] = RGBQUAD{level, level, level, 0};
        }
    }
    return bmi;
}

void CShowWaveDlg::FlipToView(const uint8_t* pSrc, uint8_t* pView, int w, int h,
                              int nBytesPerPixel) {
    if (w <= 0 || h <= 0) return;
    const size_t nRowBytes = static_cast<size_t>(w) * static_cast<size_t>(nBytesPerPixel);
    if (nBytesPerPixel == 1) {
        for (int i = 0; i < h; ++i) {
            std::memcpy(pView + static_cast<size_t>(h - 1 - i) * nRowBytes,
                        pSrc + static_cast<size_t>(i) * nRowBytes, nRowBytes);
        }
    } else if (nBytesPerPixel == 3) {
        for (int i = 0; i < h; ++i) {
            const uint8_t* s = pSrc + static_cast<size_t>(i) * nRowBytes;
            uint8_t* d = pView + static_cast<size_t>(h - 1 - i) * nRowBytes;
            for (int j = 0; j < w; ++j, s += 3, d += 3) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
            }
        }
    }
}

void CShowWaveDlg::ShowImage(IDeviceContext* dc, const uint8_t* pImage, int x, int y, int w, int h,
                             int nKind) {
    uint8_t* pView = nullptr;
    const BITMAPINFO* pBmi = nullptr;
    int nBytesPerPixel = 1;
    switch (nKind) {
        case VIEW_GRAY:
            pView = m_pGrayView.get();
            pBmi = m_pGrayBmi.get();
            break;
        case VIEW_CELL:
            pView = m_pCellView.get();
            pBmi = m_pCellBmi.get();
            break;
        default:
            pView = m_pColorView.get();
            pBmi = m_pColorBmi.get();
            nBytesPerPixel = 3;
            break;
    }
    // The buffer holds exactly the header's size; any other size would be
    // shown garbled or read past its end.
    if (!dc || !pImage || !pView || !pBmi || w != pBmi->bmiHeader.biWidth ||
        h != pBmi->bmiHeader.biHeight) {
        return;
    }
    FlipToView(pImage, pView, w, h, nBytesPerPixel);
    dc->StretchDIBits(x, y, w, h, 0, 0, w, h, pView, pBmi, DIB_RGB_COLORS, SRCCOPY);
}
