#pragma once
// Float samples, one or two channels interleaved, from one sample rate to
// another through libswresample, for one stream of a mixer. It keeps what it
// cannot give yet, so input and output go in pieces of any size, and the
// sound's first frame comes out first. Once open it never allocates while
// each call stays within the frame counts it was opened for, so a mixer may
// call it on the audio thread. One thread at a time.

struct SwrContext;

class FfmpegRateConverter {
public:
    FfmpegRateConverter() = default;
    ~FfmpegRateConverter();
    FfmpegRateConverter(const FfmpegRateConverter&) = delete;
    FfmpegRateConverter& operator=(const FfmpegRateConverter&) = delete;

    // nMaxFrames bounds the frames of any one Convert, in and out. False
    // when libswresample cannot make this conversion (memory, mostly).
    bool Open(int nChannels, int nInRate, int nOutRate, int nMaxFrames);
    // Takes nIn frames from pIn (nIn may be 0) and writes up to nOut frames to
    // pOut, what it held back first. Returns the frames written, or -1.
    int Convert(const float* pIn, int nIn, float* pOut, int nOut);
    // The sound has ended: the frames it holds back for the filter's sake
    // come out in the next Converts, which then take no input.
    void Flush();
    // Drops everything it holds, as if opened afresh. False when it could
    // not be made again; every Convert then fails.
    bool Clear();

private:
    bool Prime();

    SwrContext* m_pSwr = nullptr;
    int m_nChannels = 0;
    int m_nInRate = 0;
    int m_nOutRate = 0;
    int m_nMaxFrames = 0;
    bool m_bFlushed = false;
};
