#include "platform/ffmpeg/FfmpegRateConverter.h"

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

// Half of libswresample's default: still more than SDL's own converter
// weighs, at two thirds of the cost of the default.
constexpr int kFilterTaps = 16;

}  // namespace

FfmpegRateConverter::~FfmpegRateConverter() { swr_free(&m_pSwr); }

bool FfmpegRateConverter::Open(int nChannels, int nInRate, int nOutRate, int nMaxFrames) {
    m_nChannels = nChannels;
    m_nInRate = nInRate;
    m_nOutRate = nOutRate;
    m_nMaxFrames = nMaxFrames;
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, nChannels);
    if (swr_alloc_set_opts2(&m_pSwr, &layout, AV_SAMPLE_FMT_FLT, nOutRate, &layout,
                            AV_SAMPLE_FMT_FLT, nInRate, 0, nullptr) < 0)
        return false;
    av_opt_set_int(m_pSwr, "filter_size", kFilterTaps, 0);
    return Prime();
}

// Runs silence through, more than any one call will hand over or ask for, so
// that every buffer of the context has grown here. What stays of it is a few
// silent frames ahead of the sound.
bool FfmpegRateConverter::Prime() {
    m_bFlushed = false;
    if (swr_init(m_pSwr) < 0) return false;
    const int64_t nIn = 8 * int64_t{m_nMaxFrames};
    const int64_t nOut = nIn * m_nOutRate / m_nInRate + 64;
    std::vector<float> silence(static_cast<size_t>(nIn * m_nChannels), 0.0f);
    std::vector<float> sink(static_cast<size_t>(nOut * m_nChannels));
    const uint8_t* in[] = {reinterpret_cast<const uint8_t*>(silence.data())};
    uint8_t* out[] = {reinterpret_cast<uint8_t*>(sink.data())};
    if (swr_convert(m_pSwr, out, 0, in, static_cast<int>(nIn)) < 0) return false;
    int n;
    while ((n = swr_convert(m_pSwr, out, static_cast<int>(nOut), in, 0)) > 0) {
    }
    return n == 0;
}

int FfmpegRateConverter::Convert(const float* pIn, int nIn, float* pOut, int nOut) {
    if (!m_pSwr) return -1;
    uint8_t* out[] = {reinterpret_cast<uint8_t*>(pOut)};
    int n;
    if (m_bFlushed) {
        n = swr_convert(m_pSwr, out, nOut, nullptr, 0);
    } else {
        // A null input would end the sound: libswresample flushes on it.
        static const float kNothing = 0.0f;
        const uint8_t* in[] = {reinterpret_cast<const uint8_t*>(nIn > 0 ? pIn : &kNothing)};
        n = swr_convert(m_pSwr, out, nOut, in, nIn);
    }
    return n < 0 ? -1 : n;
}

void FfmpegRateConverter::Flush() { m_bFlushed = true; }

bool FfmpegRateConverter::Clear() {
    if (!m_pSwr) return false;
    swr_close(m_pSwr);
    return Prime();
}
