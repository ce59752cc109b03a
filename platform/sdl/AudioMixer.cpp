#include "platform/sdl/AudioMixer.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/ffmpeg/FfmpegRateConverter.h"

namespace {

constexpr int kBlockFrames = 1024;  // the mix is built this many frames at a time
// Source frames handed to a converter at a time. Priming at open runs pieces
// of this size through, so the converter's buffers are grown there.
constexpr int kPieceFrames = 256;
// Silence at the output rate, for a stream that has run dry.
constexpr float kSilence[kPieceFrames * 2] = {};

SDL_AudioFormat SourceFormat(uint16_t bits) {
    switch (bits) {
        case 8:
            return AUDIO_U8;
        case 16:
            return AUDIO_S16LSB;
        default:
            return AUDIO_S32LSB;  // 24-bit arrives unpacked to 32
    }
}

// Above the knee the sum bends smoothly towards full scale instead of being
// cut off, so 21 loud clips together distort gently rather than crackle.
inline float SoftLimit(float x) {
    constexpr float kKnee = 0.6f;
    const float a = std::fabs(x);
    if (a <= kKnee) return x;
    const float t = (a - kKnee) / (1.0f - kKnee);
    const float y = kKnee + (1.0f - kKnee) * (1.0f - 2.0f / (1.0f + std::exp(2.0f * t)));
    return x < 0 ? -y : y;
}

// A stream's frames into the mix, four samples a step, which the compiler
// turns into vector adds where it leaves a plain loop alone.
void AddStereo(float* __restrict pSum, const float* __restrict pTake, int nFrames) {
    const int nSamples = 2 * nFrames;
    int i = 0;
    for (; i + 4 <= nSamples; i += 4) {
        pSum[i] += pTake[i];
        pSum[i + 1] += pTake[i + 1];
        pSum[i + 2] += pTake[i + 2];
        pSum[i + 3] += pTake[i + 3];
    }
    for (; i < nSamples; ++i) pSum[i] += pTake[i];
}

// A mono stream reaches both sides alike, as SDL's own upmix had it.
void AddMono(float* __restrict pSum, const float* __restrict pTake, int nFrames) {
    int i = 0;
    for (; i + 2 <= nFrames; i += 2) {
        pSum[2 * i] += pTake[i];
        pSum[2 * i + 1] += pTake[i];
        pSum[2 * i + 2] += pTake[i + 1];
        pSum[2 * i + 3] += pTake[i + 1];
    }
    for (; i < nFrames; ++i) {
        pSum[2 * i] += pTake[i];
        pSum[2 * i + 1] += pTake[i];
    }
}

// SDL keeps its error text per thread and frees it only for threads that SDL
// made; the caller's thread would leak what a refused converter leaves.
struct DropThreadErrors {
    ~DropThreadErrors() { SDL_TLSCleanup(); }
};

}  // namespace

// SDL converts the clip's format and channels at the clip's own rate, to
// float with one channel for mono and two for more, as its own rate
// converter would have had them; libswresample then converts the rate, at a
// fraction of the cost of SDL's converter.
struct AudioMixer::Stream {
    SDL_AudioStream* pConverter = nullptr;
    FfmpegRateConverter rate;
    int nChannels = 0;  // 1 or 2, between the two
    WAVEFORMATEX wfx{};
    WaveOutCallback callback = nullptr;
    uintptr_t dwInstance = 0;
    int srcFrameBytes = 0;  // bytes of one frame as the converter takes it
    // Written buffers not yet wholly taken, linked through lpNext.
    WAVEHDR* pQueueHead = nullptr;
    WAVEHDR* pQueueTail = nullptr;
    uint32_t headTaken = 0;  // bytes of the head buffer already taken
    // Taken buffers whose callback has not run yet, in written order.
    WAVEHDR* pDoneHead = nullptr;
    WAVEHDR* pDoneTail = nullptr;
    bool bTaken = false;  // some of its bytes have been taken
    // Closed by its owner: the handle is gone, but the converter still holds
    // the clip's tail, which plays out before the notifier frees the stream.
    bool bClosed = false;
    bool bDrained = false;
    // Converter feeds one block of the mix can need, with room to spare;
    // a pull that takes more is stopped.
    int maxPullSteps = 0;
    // A partial frame left at a buffer's end, joined to the next buffer.
    uint8_t carry[32] = {};
    int carryBytes = 0;
    std::vector<uint8_t> stage;  // the piece handed to SDL

    void PushDone(WAVEHDR* pwh) {
        pwh->dwFlags = (pwh->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        pwh->lpNext = nullptr;
        if (pDoneTail)
            pDoneTail->lpNext = pwh;
        else
            pDoneHead = pwh;
        pDoneTail = pwh;
    }
    WAVEHDR* PopQueue() {
        WAVEHDR* pwh = pQueueHead;
        pQueueHead = pwh->lpNext;
        if (!pQueueHead) pQueueTail = nullptr;
        headTaken = 0;
        return pwh;
    }
};

AudioMixer::AudioMixer(int outputRate, TakeProbe probe, Delivery delivery)
    : m_outputRate(outputRate),
      m_probe(probe),
      m_bPullerDelivers(delivery == Delivery::ByPuller),
      m_sum(kBlockFrames * 2),
      m_take(kBlockFrames * 2),
      m_piece(kPieceFrames * 2),
      m_notifier([this] { NotifierThread(); }) {}

AudioMixer::~AudioMixer() {
    {
        std::lock_guard lock(m_mutex);
        m_bQuit = true;
    }
    m_notifyCv.notify_all();
    m_notifier.join();
    for (Stream*& s : m_streams) {
        if (s) {
            SDL_FreeAudioStream(s->pConverter);
            delete s;
            s = nullptr;
        }
    }
}

MMRESULT AudioMixer::Open(HWAVEOUT* phwo, const WAVEFORMATEX& wfx, WaveOutCallback callback,
                          uintptr_t dwInstance) {
    if (!IsPlayablePcmFormat(wfx)) return WAVERR_BADFORMAT;
    DropThreadErrors dropErrors;
    auto s = std::make_unique<Stream>();
    s->wfx = wfx;
    s->callback = callback;
    s->dwInstance = dwInstance;
    const int bytesPerSample = wfx.wBitsPerSample == 24 ? 4 : wfx.wBitsPerSample / 8;
    s->srcFrameBytes = bytesPerSample * wfx.nChannels;
    s->nChannels = std::min<int>(wfx.nChannels, 2);
    const int srcRate = static_cast<int>(wfx.nSamplesPerSec);
    s->pConverter =
        SDL_NewAudioStream(SourceFormat(wfx.wBitsPerSample), static_cast<Uint8>(wfx.nChannels),
                           srcRate, AUDIO_F32SYS, static_cast<Uint8>(s->nChannels), srcRate);
    // The format passed the check above, so a refusal is the libraries' own
    // trouble (memory, mostly): a failure that may pass, not a bad format.
    if (!s->pConverter) return MMSYSERR_NOMEM;
    if (!s->rate.Open(s->nChannels, srcRate, m_outputRate, kBlockFrames)) {
        SDL_FreeAudioStream(s->pConverter);
        return MMSYSERR_NOMEM;
    }
    const int64_t srcFramesPerBlock = int64_t{kBlockFrames} * wfx.nSamplesPerSec / m_outputRate + 1;
    s->maxPullSteps = static_cast<int>(4 * (srcFramesPerBlock / kPieceFrames + 1) + 16);
    s->stage.resize(static_cast<size_t>(kPieceFrames) * s->srcFrameBytes + sizeof s->carry);

    // Prime SDL's converter with pieces of silence and take it all back, so
    // its buffers are grown here and not on the audio thread. Every format
    // it takes here is signed but 8-bit, whose silence is 0x80.
    const int pieceBytes = kPieceFrames * s->srcFrameBytes;
    std::vector<uint8_t> silence(static_cast<size_t>(pieceBytes),
                                 wfx.wBitsPerSample == 8 ? 0x80 : 0);
    std::vector<float> sink(static_cast<size_t>(kPieceFrames) * s->nChannels);
    for (int k = 0; k < 8; ++k) {
        SDL_AudioStreamPut(s->pConverter, silence.data(), pieceBytes);
        while (SDL_AudioStreamGet(s->pConverter, sink.data(),
                                  static_cast<int>(sink.size() * sizeof(float))) > 0) {
        }
    }

    std::lock_guard lock(m_mutex);
    for (Stream*& slot : m_streams) {
        if (!slot) {
            slot = s.release();
            *phwo = reinterpret_cast<HWAVEOUT>(slot);
            return MMSYSERR_NOERROR;
        }
    }
    SDL_FreeAudioStream(s->pConverter);
    return MMSYSERR_ALLOCATED;
}

AudioMixer::Stream* AudioMixer::FindLocked(HWAVEOUT hwo) {
    for (Stream* s : m_streams) {
        if (s && !s->bClosed && reinterpret_cast<HWAVEOUT>(s) == hwo) return s;
    }
    return nullptr;
}

MMRESULT AudioMixer::Prepare(HWAVEOUT hwo, WAVEHDR* pwh) {
    std::lock_guard lock(m_mutex);
    if (!FindLocked(hwo) || !pwh) return MMSYSERR_INVALHANDLE;
    pwh->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT AudioMixer::Unprepare(HWAVEOUT hwo, WAVEHDR* pwh) {
    std::lock_guard lock(m_mutex);
    if (!FindLocked(hwo) || !pwh) return MMSYSERR_INVALHANDLE;
    if (pwh->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    pwh->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT AudioMixer::Write(HWAVEOUT hwo, WAVEHDR* pwh) {
    std::lock_guard lock(m_mutex);
    Stream* s = FindLocked(hwo);
    if (!s || !pwh) return MMSYSERR_INVALHANDLE;
    if (!(pwh->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (pwh->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    pwh->dwFlags = (pwh->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    pwh->lpNext = nullptr;
    if (s->pQueueTail)
        s->pQueueTail->lpNext = pwh;
    else
        s->pQueueHead = pwh;
    s->pQueueTail = pwh;
    return MMSYSERR_NOERROR;
}

MMRESULT AudioMixer::Reset(HWAVEOUT hwo) {
    std::unique_lock lock(m_mutex);
    Stream* s = FindLocked(hwo);
    if (!s) return MMSYSERR_INVALHANDLE;
    while (s->pQueueHead) s->PushDone(s->PopQueue());
    s->carryBytes = 0;
    SDL_AudioStreamClear(s->pConverter);
    // Made afresh: allocates, but on the caller's thread.
    s->rate.Clear();
    m_notifyCv.notify_all();
    m_idleCv.wait(lock, [&] { return !s->pDoneHead && m_pDelivering != s; });
    return MMSYSERR_NOERROR;
}

MMRESULT AudioMixer::Close(HWAVEOUT hwo) {
    std::unique_lock lock(m_mutex);
    Stream* s = FindLocked(hwo);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (s->pQueueHead || s->pDoneHead) return WAVERR_STILLPLAYING;
    // The last callback may still be returning.
    m_idleCv.wait(lock, [&] { return m_pDelivering != s; });
    // Taken is not yet heard: the rate converter still holds the end of the
    // clip. Mix plays it out, and the notifier frees the stream once it is
    // empty.
    s->bClosed = true;
    s->carryBytes = 0;
    s->rate.Flush();
    return MMSYSERR_NOERROR;
}

// The caller delivers what it finds itself: waking the notifier for it
// would cost two thread switches for every buffer done.
void AudioMixer::WaitDelivered() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_pDelivering && !DeliverOneLocked(lock)) return;
        if (m_pDelivering) m_idleCv.wait(lock);
    }
}

bool AudioMixer::HasStreams() {
    std::lock_guard lock(m_mutex);
    return std::any_of(std::begin(m_streams), std::end(m_streams),
                       [](Stream* s) { return s != nullptr; });
}

// Clamped to full scale (NaN to the top), scaled, rounded to nearest even.
// Eight samples a step in SSE2: minps hands back its second operand for a
// NaN, as fmin(1, NaN) gives 1, and cvtps2dq rounds as lrint does.
void AudioMixer::ToPcm16(const float* pMix, int16_t* pOut, size_t nSamples) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128 one = _mm_set1_ps(1.0f), minusOne = _mm_set1_ps(-1.0f);
    const __m128 scale = _mm_set1_ps(32767.0f);
    for (; i + 8 <= nSamples; i += 8) {
        const __m128 a = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(pMix + i), one), minusOne);
        const __m128 b = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(pMix + i + 4), one), minusOne);
        const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(_mm_mul_ps(a, scale)),
                                               _mm_cvtps_epi32(_mm_mul_ps(b, scale)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + i), packed);
    }
#endif
    for (; i < nSamples; ++i)
        pOut[i] =
            static_cast<int16_t>(std::lrint(std::fmax(-1.0f, std::fmin(1.0f, pMix[i])) * 32767.0f));
}

// Converts the next piece of the head buffer (and any partial frame carried
// over), whole frames only, into up to nOut frames at pOut; the rate
// converter keeps the rest. Returns the frames written, or -1 when a
// converter refuses the piece: it then stays queued, to be offered again.
int AudioMixer::PutPieceLocked(Stream& s, float* pOut, int nOut, bool bHeard, bool& bAnyDone) {
    WAVEHDR* pwh = s.pQueueHead;
    const int srcBlock = s.wfx.nBlockAlign;
    const uint32_t left = pwh->dwBufferLength - s.headTaken;
    const uint32_t maxPiece = static_cast<uint32_t>(kPieceFrames * srcBlock - s.carryBytes);
    const uint32_t piece = std::min(left, maxPiece);
    const uint8_t* pSrc = reinterpret_cast<const uint8_t*>(pwh->lpData) + s.headTaken;

    // Gather carry + piece as packed source bytes.
    uint8_t packed[kPieceFrames * 8 * 4];  // frames of at most 8 channels of 32 bits
    std::memcpy(packed, s.carry, static_cast<size_t>(s.carryBytes));
    std::memcpy(packed + s.carryBytes, pSrc, piece);
    const int total = s.carryBytes + static_cast<int>(piece);
    const int frames = total / srcBlock;

    int nGot = 0;
    if (frames > 0) {
        const int samples = frames * s.wfx.nChannels;
        int result;
        if (s.wfx.wBitsPerSample == 24) {
            // SDL has no 24-bit format: widen each sample to 32 bits.
            auto* pWide = reinterpret_cast<int32_t*>(s.stage.data());
            for (int i = 0; i < samples; ++i) {
                const uint8_t* p = packed + 3 * i;
                const uint32_t v = static_cast<uint32_t>(p[0]) << 8 |
                                   static_cast<uint32_t>(p[1]) << 16 |
                                   static_cast<uint32_t>(p[2]) << 24;
                std::memcpy(&pWide[i], &v, 4);
            }
            result = SDL_AudioStreamPut(s.pConverter, s.stage.data(), samples * 4);
        } else {
            result = SDL_AudioStreamPut(s.pConverter, packed, frames * srcBlock);
        }
        if (result != 0) return -1;
        // At one rate SDL gives back at once all that it took.
        const int floats = SDL_AudioStreamGet(
            s.pConverter, m_piece.data(), frames * s.nChannels * static_cast<int>(sizeof(float)));
        nGot = s.rate.Convert(m_piece.data(), std::max(floats, 0) / (s.nChannels * 4), pOut, nOut);
        if (nGot < 0) return -1;
    }

    if (!s.bTaken) {
        s.bTaken = true;
        if (m_probe.pFirstTake) m_probe.pFirstTake(m_probe.pUser, bHeard);
    }
    s.carryBytes = total - frames * srcBlock;
    std::memcpy(s.carry, packed + frames * srcBlock, static_cast<size_t>(s.carryBytes));
    s.headTaken += piece;
    if (s.headTaken >= pwh->dwBufferLength) {
        s.PushDone(s.PopQueue());
        bAnyDone = true;
    }
    return nGot;
}

// Fills m_take with up to nWanted frames of the stream at the output rate,
// feeding the converters as needed; nGot says how many. False when it stops
// short: a converter refused a piece, or the pull has taken more steps than
// the stream's rate can need. The lock is held here, so the pull never
// retries on its own: the caller gives silence for the rest of the callback.
bool AudioMixer::PullLocked(Stream& s, int nWanted, int& nGot, bool bHeard, bool& bAnyDone) {
    nGot = std::max(s.rate.Convert(nullptr, 0, m_take.data(), nWanted), 0);
    for (int step = 0; nGot < nWanted; ++step) {
        if (step == s.maxPullSteps) return false;
        float* pOut = m_take.data() + nGot * s.nChannels;
        int n;
        if (s.pQueueHead) {
            n = PutPieceLocked(s, pOut, nWanted - nGot, bHeard, bAnyDone);
        } else if (s.bTaken && !s.bClosed) {
            // Ran dry (the clip's end, or its next buffer is late): go on
            // with silence, as a sound card would, which also brings out the
            // frames the rate converter holds back.
            n = s.rate.Convert(kSilence, kPieceFrames, pOut, nWanted - nGot);
        } else {
            break;
        }
        if (n < 0) return false;
        nGot += n;
    }
    return true;
}

void AudioMixer::Mix(float* pOut, int frames, bool bHeard) {
    bool bAnyDone = false;
    {
        std::lock_guard lock(m_mutex);
        bool bSilenced[kMaxStreams] = {};  // silent for the rest of this call
        while (frames > 0) {
            const int n = std::min(frames, kBlockFrames);
            std::fill(m_sum.begin(), m_sum.begin() + 2 * n, 0.0f);
            for (int k = 0; k < kMaxStreams; ++k) {
                Stream* s = m_streams[k];
                if (!s || s->bDrained || bSilenced[k]) continue;
                int got = 0;
                if (!PullLocked(*s, n, got, bHeard, bAnyDone)) bSilenced[k] = true;
                if (s->nChannels == 2)
                    AddStereo(m_sum.data(), m_take.data(), got);
                else
                    AddMono(m_sum.data(), m_take.data(), got);
                if (s->bClosed && got < n) {
                    s->bDrained = true;
                    bAnyDone = true;  // wakes the notifier to free it
                }
            }
            for (int i = 0; i < 2 * n; ++i) pOut[i] = SoftLimit(m_sum[i]);
            pOut += 2 * n;
            frames -= n;
        }
    }
    if (bAnyDone && !m_bPullerDelivers) m_notifyCv.notify_one();
}

void AudioMixer::NotifierThread() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        // While another thread delivers, the order of a stream's callbacks
        // is its to keep: that thread goes on until nothing is left.
        if (!m_pDelivering && DeliverOneLocked(lock)) continue;
        if (m_bQuit) return;
        m_notifyCv.wait(lock);
    }
}

// Frees one stream that has played out, or runs one done callback, with the
// lock let go meanwhile; false when there is neither. Only one thread
// delivers at a time (m_pDelivering is null on entry).
bool AudioMixer::DeliverOneLocked(std::unique_lock<std::mutex>& lock) {
    Stream* s = nullptr;
    Stream* pDrained = nullptr;
    for (Stream*& candidate : m_streams) {
        if (candidate && candidate->bDrained) {
            pDrained = candidate;
            candidate = nullptr;
            break;
        }
        if (candidate && candidate->pDoneHead && !s) s = candidate;
    }
    if (pDrained) {
        // Freed off the audio thread and outside the lock.
        lock.unlock();
        SDL_FreeAudioStream(pDrained->pConverter);
        delete pDrained;
        lock.lock();
        m_idleCv.notify_all();
        return true;
    }
    if (!s) return false;
    WAVEHDR* pwh = s->pDoneHead;
    s->pDoneHead = pwh->lpNext;
    if (!s->pDoneHead) s->pDoneTail = nullptr;
    pwh->lpNext = nullptr;
    m_pDelivering = s;
    const WaveOutCallback callback = s->callback;
    const uintptr_t dwInstance = s->dwInstance;
    lock.unlock();
    callback(reinterpret_cast<HWAVEOUT>(s), MM_WOM_DONE, dwInstance,
             reinterpret_cast<uintptr_t>(pwh), 0);
    lock.lock();
    m_pDelivering = nullptr;
    m_idleCv.notify_all();
    return true;
}
