#include "platform/ffmpeg/FfmpegVideoFiles.h"

#include <cmath>
#include <string>

#include "platform/UserFile.h"
#include "platform/ffmpeg/FfmpegFileClip.h"
#include "platform/ffmpeg/FfmpegInput.h"
#include "platform/ffmpeg/FfmpegVideoFile.h"

namespace {

uint32_t ClampToU32(double value) {
    if (!(value > 0)) return 0;
    if (value >= 4294967295.0) return 4294967295u;
    return static_cast<uint32_t>(value);
}

// AVI keeps a video stream's rate and scale as its time base (one tick per
// frame); other containers tick finer, and then the frame rate is used.
void DescribeRate(const AVStream* st, FfmpegStreamDesc& d) {
    AVRational rate = st->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = st->avg_frame_rate;
    const AVRational tb = st->time_base;
    const bool tickPerFrame =
        tb.num > 0 && tb.den > 0 &&
        (rate.num <= 0 || rate.den <= 0 || std::fabs(av_q2d(tb) * av_q2d(rate) - 1.0) < 1e-3);
    if (tickPerFrame) {
        d.dwRate = static_cast<uint32_t>(tb.den);
        d.dwScale = static_cast<uint32_t>(tb.num);
    } else if (rate.num > 0 && rate.den > 0) {
        d.dwRate = static_cast<uint32_t>(rate.num);
        d.dwScale = static_cast<uint32_t>(rate.den);
    }
}

uint32_t VideoLength(const AVFormatContext* ctx, const AVStream* st, const FfmpegStreamDesc& d) {
    if (st->nb_frames > 0) return ClampToU32(static_cast<double>(st->nb_frames));
    if (d.dwRate == 0 || d.dwScale == 0) return 0;
    const double fps = static_cast<double>(d.dwRate) / d.dwScale;
    if (st->duration > 0 && st->duration != AV_NOPTS_VALUE)
        return ClampToU32(std::llround(st->duration * av_q2d(st->time_base) * fps));
    if (ctx->duration > 0 && ctx->duration != AV_NOPTS_VALUE)
        return ClampToU32(std::llround(ctx->duration / double(AV_TIME_BASE) * fps));
    return 0;
}

FfmpegStreamDesc Describe(const ffmpeg::Source& source, const AVFormatContext* ctx, int index) {
    const AVStream* st = ctx->streams[index];
    FfmpegStreamDesc d;
    d.source = source;
    d.nIndex = index;
    d.timeBase = st->time_base;
    const int64_t saneStamp = int64_t{1} << 52;
    d.nStartTime = st->start_time != AV_NOPTS_VALUE && st->start_time > -saneStamp &&
                           st->start_time < saneStamp
                       ? st->start_time
                       : 0;
    switch (st->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            d.fccType = streamtypeVIDEO;
            d.nWidth = st->codecpar->width;
            d.nHeight = st->codecpar->height;
            DescribeRate(st, d);
            d.dwLength = VideoLength(ctx, st, d);
            d.fccHandler = st->codecpar->codec_tag;
            break;
        case AVMEDIA_TYPE_AUDIO:
            d.fccType = streamtypeAUDIO;
            d.dwLength = st->nb_frames > 0 ? ClampToU32(static_cast<double>(st->nb_frames)) : 0;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            d.fccType = MakeFourCC('t', 'x', 't', 's');
            break;
        default:
            break;
    }
    return d;
}

}  // namespace

FfmpegVideoFiles::FfmpegVideoFiles(Reading reading) : m_reading(reading) {
    av_log_set_level(AV_LOG_QUIET);
}

std::unique_ptr<IVideoFile> FfmpegVideoFiles::Open(const char* path) {
    std::string strWhy;
    UserFile file = OpenUserFile(path, strWhy);
    if (!file) return nullptr;
    return OpenSource({std::make_shared<FfmpegFileClip>(std::move(file))});
}

std::unique_ptr<IVideoFile> FfmpegVideoFiles::OpenMemory(
    std::shared_ptr<const FfmpegMemoryClip> clip) {
    if (!clip) return nullptr;
    return OpenSource({std::move(clip)});
}

std::unique_ptr<IVideoFile> FfmpegVideoFiles::OpenSource(const ffmpeg::Source& source) {
    ffmpeg::InputPtr input = ffmpeg::OpenInput(source);
    if (!input) return nullptr;
    std::vector<FfmpegStreamDesc> streams;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        streams.push_back(Describe(source, input.get(), static_cast<int>(i)));
        streams.back().bReadAhead = m_reading == Reading::Ahead;
    }
    return std::make_unique<FfmpegVideoFile>(std::move(streams));
}
