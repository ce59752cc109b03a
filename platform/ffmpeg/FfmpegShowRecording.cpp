#include "platform/ffmpeg/FfmpegShowRecording.h"

#include <cstring>

#include "platform/ffmpeg/FfmpegPtr.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace {

struct OutputFree {
    void operator()(AVFormatContext* oc) const {
        if (oc->pb) avio_closep(&oc->pb);
        avformat_free_context(oc);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputFree>;

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// One encoder feeding one stream of the file.
struct Track {
    ffmpeg::CodecPtr enc;
    AVStream* pStream = nullptr;
};

}  // namespace

struct FfmpegShowRecording::State {
    OutputPtr oc;
    Track video;
    Track audio;
    ffmpeg::FramePtr picture;  // the next picture, in the encoder's format
    ffmpeg::FramePtr sound;
    ffmpeg::PacketPtr packet{av_packet_alloc()};
    ffmpeg::SwsPtr sws;
    int nWidth = 0;
    int nHeight = 0;
    int64_t nPeriodMs = 0;
    int64_t nSoundFrames = 0;  // written so far: the next sound's time stamp
    std::string error;         // empty until something failed
    const char* pEncoder = "";

    bool Fail(const std::string& what, int code) {
        if (error.empty()) error = what + " (" + AvError(code) + ")";
        return false;
    }

    // Sends a frame (null to drain) and writes every packet the encoder has ready.
    bool Encode(Track& track, AVFrame* pFrame) {
        if (!error.empty()) return false;
        int rc = avcodec_send_frame(track.enc.get(), pFrame);
        if (rc < 0) return Fail("cannot encode", rc);
        while ((rc = avcodec_receive_packet(track.enc.get(), packet.get())) >= 0) {
            if (&track == &video && packet->duration == 0) packet->duration = nPeriodMs;
            av_packet_rescale_ts(packet.get(), track.enc->time_base, track.pStream->time_base);
            packet->stream_index = track.pStream->index;
            rc = av_interleaved_write_frame(oc.get(), packet.get());
            if (rc < 0) return Fail("cannot write", rc);
        }
        return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF ? true : Fail("cannot encode", rc);
    }

    bool AddTrack(Track& track, const AVCodec* pCodec, AVDictionary** ppOptions) {
        if (oc->oformat->flags & AVFMT_GLOBALHEADER)
            track.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int rc = avcodec_open2(track.enc.get(), pCodec, ppOptions);
        if (rc < 0) return Fail(std::string("cannot start the encoder ") + pCodec->name, rc);
        track.pStream = avformat_new_stream(oc.get(), nullptr);
        if (!track.pStream) return Fail("cannot add a stream", AVERROR(ENOMEM));
        track.pStream->time_base = track.enc->time_base;
        rc = avcodec_parameters_from_context(track.pStream->codecpar, track.enc.get());
        return rc < 0 ? Fail("cannot add a stream", rc) : true;
    }
};

FfmpegShowRecording::FfmpegShowRecording() : m_state(std::make_unique<State>()) {}

FfmpegShowRecording::~FfmpegShowRecording() = default;

const char* FfmpegShowRecording::EncoderName() const { return m_state->pEncoder; }

bool FfmpegShowRecording::Open(const std::string& path, int nWidth, int nHeight,
                               unsigned nPeriodMs, int nSampleRate, std::string& error) {
    State& s = *m_state;
    s.nWidth = nWidth;
    s.nHeight = nHeight;
    s.nPeriodMs = nPeriodMs > 0 ? nPeriodMs : 1;
    const bool bOk = [&] {
        AVFormatContext* pRaw = nullptr;
        int rc = avformat_alloc_output_context2(&pRaw, nullptr, "matroska", path.c_str());
        if (rc < 0) return s.Fail("cannot make a Matroska file", rc);
        s.oc.reset(pRaw);

        // H.264 plays everywhere and libx264 at its "veryfast" preset keeps
        // well ahead of the show; MPEG-4 part 2 is FFmpeg's own fallback.
        const AVCodec* pVideo = avcodec_find_encoder_by_name("libx264");
        if (!pVideo) pVideo = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
        if (!pVideo) return s.Fail("no video encoder", AVERROR_ENCODER_NOT_FOUND);
        s.pEncoder = pVideo->name;
        s.video.enc.reset(avcodec_alloc_context3(pVideo));
        AVCodecContext& v = *s.video.enc;
        v.width = nWidth;
        v.height = nHeight;
        v.pix_fmt = AV_PIX_FMT_YUV420P;
        v.time_base = AVRational{1, 1000};  // pictures carry their millisecond
        v.framerate = AVRational{1000, static_cast<int>(s.nPeriodMs)};
        v.gop_size = static_cast<int>(10000 / s.nPeriodMs);  // a key frame every 10 s
        AVDictionary* pOptions = nullptr;
        if (std::strcmp(pVideo->name, "libx264") == 0) {
            av_dict_set(&pOptions, "preset", "veryfast", 0);
            av_dict_set(&pOptions, "crf", "20", 0);
        } else {
            v.flags |= AV_CODEC_FLAG_QSCALE;
            v.global_quality = FF_QP2LAMBDA * 3;
        }
        const bool bVideo = s.AddTrack(s.video, pVideo, &pOptions);
        av_dict_free(&pOptions);
        if (!bVideo) return false;

        const AVCodec* pAudio = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
        if (!pAudio) return s.Fail("no PCM encoder", AVERROR_ENCODER_NOT_FOUND);
        s.audio.enc.reset(avcodec_alloc_context3(pAudio));
        AVCodecContext& a = *s.audio.enc;
        a.sample_fmt = AV_SAMPLE_FMT_S16;
        a.sample_rate = nSampleRate;
        av_channel_layout_default(&a.ch_layout, 2);
        a.time_base = AVRational{1, nSampleRate};
        if (!s.AddTrack(s.audio, pAudio, nullptr)) return false;

        rc = avio_open(&s.oc->pb, path.c_str(), AVIO_FLAG_WRITE);
        if (rc < 0) return s.Fail("cannot create " + path, rc);
        rc = avformat_write_header(s.oc.get(), nullptr);
        if (rc < 0) return s.Fail("cannot write " + path, rc);

        s.picture.reset(av_frame_alloc());
        s.sound.reset(av_frame_alloc());
        if (!s.picture || !s.sound || !s.packet) return s.Fail("no memory", AVERROR(ENOMEM));
        s.picture->format = AV_PIX_FMT_YUV420P;
        s.picture->width = nWidth;
        s.picture->height = nHeight;
        rc = av_frame_get_buffer(s.picture.get(), 0);
        if (rc < 0) return s.Fail("no memory for a picture", rc);
        s.sws.reset(sws_getContext(nWidth, nHeight, AV_PIX_FMT_RGB32, nWidth, nHeight,
                                   AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr));
        if (!s.sws) return s.Fail("cannot convert pictures", AVERROR(EINVAL));
        return true;
    }();
    if (!bOk) error = s.error;
    return bOk;
}

bool FfmpegShowRecording::AddPicture(const uint32_t* pPixels, int nStride, int64_t ms) {
    State& s = *m_state;
    if (!s.error.empty() || !s.sws) return false;
    const int rc = av_frame_make_writable(s.picture.get());
    if (rc < 0) return s.Fail("no memory for a picture", rc);
    const uint8_t* const planes[1] = {reinterpret_cast<const uint8_t*>(pPixels)};
    const int strides[1] = {nStride * 4};
    sws_scale(s.sws.get(), planes, strides, 0, s.nHeight, s.picture->data, s.picture->linesize);
    s.picture->pts = ms;
    return s.Encode(s.video, s.picture.get());
}

bool FfmpegShowRecording::AddSound(const int16_t* pSamples, int nFrames) {
    State& s = *m_state;
    if (!s.error.empty() || !s.sws) return false;
    AVFrame& f = *s.sound;
    av_frame_unref(&f);
    f.format = AV_SAMPLE_FMT_S16;
    f.sample_rate = s.audio.enc->sample_rate;
    av_channel_layout_copy(&f.ch_layout, &s.audio.enc->ch_layout);
    f.nb_samples = nFrames;
    const int rc = av_frame_get_buffer(&f, 0);
    if (rc < 0) return s.Fail("no memory for sound", rc);
    std::memcpy(f.data[0], pSamples, static_cast<size_t>(nFrames) * 2 * sizeof(int16_t));
    f.pts = s.nSoundFrames;
    s.nSoundFrames += nFrames;
    return s.Encode(s.audio, &f);
}

bool FfmpegShowRecording::Finish(std::string& error) {
    State& s = *m_state;
    const bool bOk = [&] {
        if (!s.error.empty() || !s.sws) return false;
        if (!s.Encode(s.video, nullptr) || !s.Encode(s.audio, nullptr)) return false;
        int rc = av_write_trailer(s.oc.get());
        if (rc < 0) return s.Fail("cannot complete the file", rc);
        rc = avio_closep(&s.oc->pb);
        return rc < 0 ? s.Fail("cannot complete the file", rc) : true;
    }();
    if (!bOk) error = s.error.empty() ? "the recording was never opened" : s.error;
    return bOk;
}
