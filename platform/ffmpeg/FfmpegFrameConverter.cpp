#include "platform/ffmpeg/FfmpegFrameConverter.h"

#include <cstring>

namespace {

// The full-range JPEG formats are deprecated in the converter: use the plain
// layout and say the range instead.
AVPixelFormat PlainFormat(int format, bool& fullRange) {
    fullRange = false;
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            fullRange = true;
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            fullRange = true;
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            fullRange = true;
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P:
            fullRange = true;
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P:
            fullRange = true;
            return AV_PIX_FMT_YUV411P;
        default:
            return static_cast<AVPixelFormat>(format);
    }
}

int SwsColorspace(AVColorSpace space) {
    switch (space) {
        case AVCOL_SPC_BT709:
            return SWS_CS_ITU709;
        case AVCOL_SPC_FCC:
            return SWS_CS_FCC;
        case AVCOL_SPC_SMPTE240M:
            return SWS_CS_SMPTE240M;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return SWS_CS_BT2020;
        default:
            return SWS_CS_ITU601;
    }
}

}  // namespace

bool FfmpegFrameConverter::Convert(const AVFrame* frame, uint8_t* pixels) {
    const int w = m_nWidth, h = m_nHeight;
    const size_t row = static_cast<size_t>(w) * 3;
    if (frame->width <= 0 || frame->height <= 0 || !frame->data[0]) return false;

    if (frame->format == AV_PIX_FMT_BGR24 && frame->width == w && frame->height == h) {
        for (int y = 0; y < h; ++y)
            std::memcpy(pixels + (h - 1 - y) * row, frame->data[0] + y * frame->linesize[0], row);
        return true;
    }

    if (!m_sws || frame->width != m_swsWidth || frame->height != m_swsHeight ||
        frame->format != m_swsFormat) {
        bool fullRange = false;
        const AVPixelFormat source = PlainFormat(frame->format, fullRange);
        if (frame->color_range == AVCOL_RANGE_JPEG) fullRange = true;
        m_sws.reset(sws_getContext(frame->width, frame->height, source, w, h, AV_PIX_FMT_BGR24,
                                   SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!m_sws) return false;
        const int* coefficients = sws_getCoefficients(SwsColorspace(frame->colorspace));
        sws_setColorspaceDetails(m_sws.get(), coefficients, fullRange ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        m_swsWidth = frame->width;
        m_swsHeight = frame->height;
        m_swsFormat = frame->format;
        m_scratchStride = static_cast<int>((row + 63) & ~size_t{63});
        if (w % 8 != 0) m_scratch.assign(static_cast<size_t>(m_scratchStride) * h + 64, 0);
    }

    // Rows of whole 8-pixel groups are what the converter's vector code
    // writes without running past a row's end: those frames are converted
    // straight into the output, bottom-up through a negative stride. Other
    // widths go through aligned scratch rows.
    if (w % 8 == 0) {
        uint8_t* dst[4] = {pixels + (h - 1) * row, nullptr, nullptr, nullptr};
        const int dstStride[4] = {-static_cast<int>(row), 0, 0, 0};
        return sws_scale(m_sws.get(), frame->data, frame->linesize, 0, frame->height, dst,
                         dstStride) == h;
    }
    uint8_t* dst[4] = {m_scratch.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {m_scratchStride, 0, 0, 0};
    if (sws_scale(m_sws.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride) != h)
        return false;
    for (int y = 0; y < h; ++y)
        std::memcpy(pixels + (h - 1 - y) * row,
                    m_scratch.data() + static_cast<size_t>(y) * m_scratchStride, row);
    return true;
}
