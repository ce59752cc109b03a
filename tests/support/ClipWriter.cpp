#include "tests/support/ClipWriter.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct OutputFree {
    void operator()(AVFormatContext* oc) const {
        if (oc->pb) avio_closep(&oc->pb);
        avformat_free_context(oc);
    }
};

using CodecPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// One encoder feeding one output stream.
struct Track {
    CodecPtr enc;
    AVStream* stream = nullptr;
    FramePtr frame;
    std::unique_ptr<SwsContext, SwsFree> sws;
    std::vector<uint8_t> rgb;
    int64_t nextPts = 0;
};

class Writer {
public:
    Writer(const ClipOptions& o, const PaintFn& paint) : m_o(o), m_paint(paint) {}

    bool Write(const std::string& path) {
        AVFormatContext* raw = nullptr;
        if (!Check(avformat_alloc_output_context2(&raw, nullptr, m_o.container, path.c_str()),
                   "output"))
            return false;
        m_oc.reset(raw);
        // An invented FOURCC is only accepted below the normal compliance level.
        if (m_o.codecTag) m_oc->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;

        if (!m_o.audioOnly) {
            if (!AddVideo(m_o.width, m_o.height)) return false;
            if (m_o.secondWidth > 0 && m_o.secondHeight > 0 &&
                !AddVideo(m_o.secondWidth, m_o.secondHeight))
                return false;
        }
        if ((m_o.audio || m_o.audioOnly) && !AddAudio()) return false;

        if (!Check(avio_open(&m_oc->pb, path.c_str(), AVIO_FLAG_WRITE), "open " + path))
            return false;
        if (!Check(avformat_write_header(m_oc.get(), nullptr), "header")) return false;

        for (int n = 0; n < m_o.frames; ++n) {
            for (auto& v : m_video)
                if (!EncodeVideo(v, n)) return false;
            if (m_audio.enc && !EncodeAudio(n)) return false;
        }
        for (auto& v : m_video)
            if (!Send(v, nullptr)) return false;
        if (m_audio.enc && !Send(m_audio, nullptr)) return false;
        return Check(av_write_trailer(m_oc.get()), "trailer");
    }

    std::string error;

private:
    bool Check(int rc, const std::string& what) {
        if (rc >= 0) return true;
        error = what + ": " + AvError(rc);
        return false;
    }

    bool Fail(const std::string& what) {
        error = what;
        return false;
    }

    bool AddVideo(int width, int height) {
        AVCodecID id = AV_CODEC_ID_RAWVIDEO;
        AVPixelFormat fmt = AV_PIX_FMT_BGR24;
        if (m_o.codec == ClipCodec::Mjpeg) {
            id = AV_CODEC_ID_MJPEG;
            fmt = AV_PIX_FMT_YUVJ420P;
        } else if (m_o.codec == ClipCodec::Mpeg4) {
            id = AV_CODEC_ID_MPEG4;
            fmt = AV_PIX_FMT_YUV420P;
        } else if (m_o.codec == ClipCodec::Mpeg1) {
            id = AV_CODEC_ID_MPEG1VIDEO;
            fmt = AV_PIX_FMT_YUV420P;
        } else if (m_o.codec == ClipCodec::H264) {
            id = AV_CODEC_ID_H264;
            fmt = AV_PIX_FMT_YUV420P;
        }
        const AVCodec* codec = m_o.codec == ClipCodec::H264
                                   ? avcodec_find_encoder_by_name("libx264")
                                   : avcodec_find_encoder(id);
        if (!codec) return Fail("no encoder");
        Track t;
        t.enc.reset(avcodec_alloc_context3(codec));
        AVCodecContext* c = t.enc.get();
        c->width = width;
        c->height = height;
        c->pix_fmt = fmt;
        c->time_base = AVRational{m_o.rateDen, m_o.rateNum};
        c->framerate = AVRational{m_o.rateNum, m_o.rateDen};
        c->gop_size = m_o.gop;
        const bool bFrames = m_o.codec == ClipCodec::Mpeg4 || m_o.codec == ClipCodec::Mpeg1 ||
                             m_o.codec == ClipCodec::H264;
        c->max_b_frames = bFrames ? m_o.maxBFrames : 0;
        c->thread_count = 1;
        if (m_o.codec == ClipCodec::H264) {
            // A preset that keeps B-frames; the quantiser maps onto x264's own scale.
            av_opt_set(c->priv_data, "preset", "veryfast", 0);
            av_opt_set_int(c->priv_data, "qp", 10 + 2 * m_o.quality, 0);
        } else if (m_o.codec != ClipCodec::RawBgr24) {
            c->flags |= AV_CODEC_FLAG_QSCALE;
            c->global_quality = FF_QP2LAMBDA * m_o.quality;
        }
        if (m_oc->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (!Check(avcodec_open2(c, codec, nullptr), "open encoder")) return false;

        t.stream = avformat_new_stream(m_oc.get(), nullptr);
        if (!t.stream) return Fail("new stream");
        t.stream->time_base = c->time_base;
        t.stream->avg_frame_rate = c->framerate;
        if (!Check(avcodec_parameters_from_context(t.stream->codecpar, c), "parameters"))
            return false;
        if (m_o.codecTag) t.stream->codecpar->codec_tag = m_o.codecTag;

        t.frame.reset(av_frame_alloc());
        t.frame->format = fmt;
        t.frame->width = width;
        t.frame->height = height;
        if (!Check(av_frame_get_buffer(t.frame.get(), 0), "frame")) return false;
        // The full-range JPEG layout is plain 4:2:0 with the range set, which
        // spares the scaler its deprecated-format warning.
        const bool fullRange = fmt == AV_PIX_FMT_YUVJ420P;
        t.sws.reset(sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height,
                                   fullRange ? AV_PIX_FMT_YUV420P : fmt, SWS_BILINEAR, nullptr,
                                   nullptr, nullptr));
        if (!t.sws) return Fail("scaler");
        if (fullRange) {
            const int* coefs = sws_getCoefficients(SWS_CS_ITU601);
            sws_setColorspaceDetails(t.sws.get(), coefs, 0, coefs, 1, 0, 1 << 16, 1 << 16);
        }
        t.rgb.resize(static_cast<size_t>(width) * height * 3);
        m_video.push_back(std::move(t));
        return true;
    }

    bool AddAudio() {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
        if (!codec) return Fail("no audio encoder");
        Track& t = m_audio;
        t.enc.reset(avcodec_alloc_context3(codec));
        AVCodecContext* c = t.enc.get();
        c->sample_fmt = AV_SAMPLE_FMT_S16;
        c->sample_rate = 8000;
        av_channel_layout_default(&c->ch_layout, 1);
        c->time_base = AVRational{1, c->sample_rate};
        if (!Check(avcodec_open2(c, codec, nullptr), "open audio encoder")) return false;
        t.stream = avformat_new_stream(m_oc.get(), nullptr);
        if (!t.stream) return Fail("new stream");
        t.stream->time_base = c->time_base;
        return Check(avcodec_parameters_from_context(t.stream->codecpar, c), "audio parameters");
    }

    bool EncodeVideo(Track& t, int n) {
        AVCodecContext* c = t.enc.get();
        if (m_o.dropEvery > 0 && n % m_o.dropEvery == m_o.dropEvery - 1) {
            ++t.nextPts;  // the muxer leaves an empty chunk in its place
            return true;
        }
        m_paint(n, t.rgb.data(), c->width, c->height);
        if (!Check(av_frame_make_writable(t.frame.get()), "writable")) return false;
        const uint8_t* src[1] = {t.rgb.data()};
        const int stride[1] = {c->width * 3};
        sws_scale(t.sws.get(), src, stride, 0, c->height, t.frame->data, t.frame->linesize);
        t.frame->pts = t.nextPts++;
        return Send(t, t.frame.get());
    }

    // A quiet tone, one video frame's worth of samples (rounded) per call.
    bool EncodeAudio(int n) {
        Track& t = m_audio;
        AVCodecContext* c = t.enc.get();
        const int64_t end = av_rescale(n + 1, int64_t{c->sample_rate} * m_o.rateDen, m_o.rateNum);
        const int samples = static_cast<int>(end - t.nextPts);
        if (samples <= 0) return true;
        FramePtr f(av_frame_alloc());
        f->format = c->sample_fmt;
        f->nb_samples = samples;
        f->sample_rate = c->sample_rate;
        if (av_channel_layout_copy(&f->ch_layout, &c->ch_layout) < 0) return Fail("layout");
        if (!Check(av_frame_get_buffer(f.get(), 0), "audio frame")) return false;
        auto* pcm = reinterpret_cast<int16_t*>(f->data[0]);
        for (int i = 0; i < samples; ++i)
            pcm[i] = static_cast<int16_t>(((t.nextPts + i) % 40) * 100 - 2000);
        f->pts = t.nextPts;
        t.nextPts += samples;
        return Send(t, f.get());
    }

    bool Send(Track& t, AVFrame* frame) {
        if (!Check(avcodec_send_frame(t.enc.get(), frame), "encode")) return false;
        PacketPtr pkt(av_packet_alloc());
        for (;;) {
            const int rc = avcodec_receive_packet(t.enc.get(), pkt.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            if (!Check(rc, "encode")) return false;
            av_packet_rescale_ts(pkt.get(), t.enc->time_base, t.stream->time_base);
            pkt->stream_index = t.stream->index;
            if (!Check(av_interleaved_write_frame(m_oc.get(), pkt.get()), "write")) return false;
        }
    }

    const ClipOptions& m_o;
    const PaintFn& m_paint;
    std::unique_ptr<AVFormatContext, OutputFree> m_oc;
    std::vector<Track> m_video;
    Track m_audio;
};

}  // namespace

bool WriteClip(const std::string& path, const ClipOptions& options, const PaintFn& paint,
               std::string* error) {
    Writer writer(options, paint);
    const bool ok = writer.Write(path);
    if (!ok && error) *error = writer.error;
    return ok;
}

std::string TestDataPath(const std::string& name) {
    const char* dir = std::getenv("ZARN_TEST_DATA");
    std::filesystem::path base = dir && *dir ? dir : std::filesystem::temp_directory_path();
    std::filesystem::create_directories(base);
    return (base / name).string();
}
