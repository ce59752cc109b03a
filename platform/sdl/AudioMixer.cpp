#include "platform/sdl/AudioMixer.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kBlockFrames = 1024;  // the mix is built this many frames at a time
constexpr int kOutFrameBytes = 2 * sizeof(float);
// Source frames handed to a converter at a time. Priming at open runs pieces
// of this size through, so the converter's buffers are grown there.
constexpr int kPieceFrames = 256;

SDL_AudioFormat SourceFormat(uint16_t bits) {
    switch (bits) {
        case 8:
            return AUDIO_S8;  // unsigned bytes arrive flipped to signed
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
    const float y = kKnee + (1.0f - kKnee) * std::tanh((a - kKnee) / (1.0f - kKnee));
    return x < 0 ? -y : y;
}

// SDL keeps its error text per thread and frees it only for threads that SDL
// made; the caller's thread would leak what a refused converter leaves.
struct DropThreadErrors {
    ~DropThreadErrors() { SDL_TLSCleanup(); }
};

}  // namespace

struct AudioMixer::Stream {
    SDL_AudioStream* pConverter = nullptr;
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
    std::vector<uint8_t> stage;    // the piece handed to the converter
    std::vector<uint8_t> silence;  // one piece of silence in the converter's format

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

AudioMixer::AudioMixer(int outputRate, TakeProbe probe)
    : m_outputRate(outputRate),
      m_probe(probe),
      m_sum(kBlockFrames * 2),
      m_take(kBlockFrames * 2),
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
    s->pConverter =
        SDL_NewAudioStream(SourceFormat(wfx.wBitsPerSample), static_cast<Uint8>(wfx.nChannels),
                           static_cast<int>(wfx.nSamplesPerSec), AUDIO_F32SYS, 2, m_outputRate);
    // The format passed the check above, so SDL's refusal is its own trouble
    // (memory, mostly): a failure that may pass, not a bad format.
    if (!s->pConverter) return MMSYSERR_NOMEM;
    const int64_t srcFramesPerBlock = int64_t{kBlockFrames} * wfx.nSamplesPerSec / m_outputRate + 1;
    s->maxPullSteps = static_cast<int>(4 * (srcFramesPerBlock / kPieceFrames + 1) + 16);
    s->stage.resize(static_cast<size_t>(kPieceFrames) * s->srcFrameBytes + sizeof s->carry);
    // Every converter format is signed, so zero bytes are silence: for SDL's
    // own padding too.
    s->silence.assign(static_cast<size_t>(kPieceFrames) * s->srcFrameBytes, 0);

    // Prime the converter with a block of silence and take it all back, so
    // its buffers are grown here and not on the audio thread.
    const int silenceFrames = std::max(kPieceFrames * 8, static_cast<int>(wfx.nSamplesPerSec / 20));
    std::vector<uint8_t> silence(static_cast<size_t>(silenceFrames) * s->srcFrameBytes, 0);
    for (int off = 0; off < static_cast<int>(silence.size());
         off += kPieceFrames * s->srcFrameBytes)
        SDL_AudioStreamPut(
            s->pConverter, silence.data() + off,
            std::min(kPieceFrames * s->srcFrameBytes, static_cast<int>(silence.size()) - off));
    SDL_AudioStreamFlush(s->pConverter);
    std::vector<uint8_t> sink(8192);
    while (SDL_AudioStreamGet(s->pConverter, sink.data(), static_cast<int>(sink.size())) > 0) {
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
    // Taken is not yet heard: the converter may still hold the end of the
    // clip. Let it play out; the notifier frees the stream once it is empty.
    s->bClosed = true;
    s->carryBytes = 0;
    SDL_AudioStreamFlush(s->pConverter);
    if (SDL_AudioStreamAvailable(s->pConverter) == 0) s->bDrained = true;
    m_notifyCv.notify_all();
    return MMSYSERR_NOERROR;
}

void AudioMixer::WaitDelivered() {
    std::unique_lock lock(m_mutex);
    m_idleCv.wait(lock, [this] {
        return !m_pDelivering &&
               std::none_of(std::begin(m_streams), std::end(m_streams),
                            [](Stream* s) { return s && (s->pDoneHead || s->bDrained); });
    });
}

bool AudioMixer::HasStreams() {
    std::lock_guard lock(m_mutex);
    return std::any_of(std::begin(m_streams), std::end(m_streams),
                       [](Stream* s) { return s != nullptr; });
}

void AudioMixer::ToPcm16(const float* pMix, int16_t* pOut, size_t nSamples) {
    for (size_t i = 0; i < nSamples; ++i)
        pOut[i] =
            static_cast<int16_t>(std::lrint(std::fmax(-1.0f, std::fmin(1.0f, pMix[i])) * 32767.0f));
}

// Hands the converter the next piece of the head buffer (and any partial
// frame carried over), whole frames only. False when the converter refuses
// the piece: it then stays queued, to be offered again.
bool AudioMixer::PutPieceLocked(Stream& s, bool bHeard, bool& bAnyDone) {
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

    if (frames > 0) {
        const int samples = frames * s.wfx.nChannels;
        int result;
        if (s.wfx.wBitsPerSample == 24) {
            // SDL has no 24-bit format: widen each sample to 32 bits.
            auto* pOut = reinterpret_cast<int32_t*>(s.stage.data());
            for (int i = 0; i < samples; ++i) {
                const uint8_t* p = packed + 3 * i;
                const uint32_t v = static_cast<uint32_t>(p[0]) << 8 |
                                   static_cast<uint32_t>(p[1]) << 16 |
                                   static_cast<uint32_t>(p[2]) << 24;
                std::memcpy(&pOut[i], &v, 4);
            }
            result = SDL_AudioStreamPut(s.pConverter, s.stage.data(), samples * 4);
        } else if (s.wfx.wBitsPerSample == 8) {
            // Unsigned 8-bit to signed, so that silence is zero in the
            // converter (SDL pads with zero bytes).
            for (int i = 0; i < samples; ++i) s.stage[i] = packed[i] ^ 0x80;
            result = SDL_AudioStreamPut(s.pConverter, s.stage.data(), samples);
        } else {
            result = SDL_AudioStreamPut(s.pConverter, packed, frames * srcBlock);
        }
        if (result != 0) return false;
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
    return true;
}

// Feeds the converter until it holds bytesWanted of output. False when it
// cannot: the converter refused a piece, or the pull has taken more steps
// than the stream's rate can need. The lock is held here, so the pull never
// retries on its own: the caller gives silence for the rest of the callback.
bool AudioMixer::PullLocked(Stream& s, int bytesWanted, bool bHeard, bool& bAnyDone) {
    for (int step = 0; SDL_AudioStreamAvailable(s.pConverter) < bytesWanted; ++step) {
        if (step == s.maxPullSteps) return false;
        if (s.pQueueHead) {
            if (!PutPieceLocked(s, bHeard, bAnyDone)) return false;
        } else if (s.bTaken && !s.bClosed) {
            // Ran dry (the clip's end, or its next buffer is late): go on
            // with silence, as a sound card would, which also brings out the
            // frames the converter holds back while resampling.
            if (SDL_AudioStreamPut(s.pConverter, s.silence.data(),
                                   static_cast<int>(s.silence.size())) != 0)
                return false;
        } else {
            break;
        }
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
            const int bytes = n * kOutFrameBytes;
            std::fill(m_sum.begin(), m_sum.begin() + 2 * n, 0.0f);
            for (int k = 0; k < kMaxStreams; ++k) {
                Stream* s = m_streams[k];
                if (!s || s->bDrained || bSilenced[k]) continue;
                if (!PullLocked(*s, bytes, bHeard, bAnyDone)) bSilenced[k] = true;
                const int got = SDL_AudioStreamGet(s->pConverter, m_take.data(), bytes);
                for (int i = 0; i < got / static_cast<int>(sizeof(float)); ++i)
                    m_sum[i] += m_take[i];
                if (s->bClosed && SDL_AudioStreamAvailable(s->pConverter) == 0) {
                    s->bDrained = true;
                    bAnyDone = true;  // wakes the notifier to free it
                }
            }
            for (int i = 0; i < 2 * n; ++i) pOut[i] = SoftLimit(m_sum[i]);
            pOut += 2 * n;
            frames -= n;
        }
    }
    if (bAnyDone) m_notifyCv.notify_one();
}

void AudioMixer::NotifierThread() {
    std::unique_lock lock(m_mutex);
    for (;;) {
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
            // Freed here, off the audio thread and outside the lock.
            lock.unlock();
            SDL_FreeAudioStream(pDrained->pConverter);
            delete pDrained;
            lock.lock();
            m_idleCv.notify_all();
            continue;
        }
        if (!s) {
            if (m_bQuit) return;
            m_notifyCv.wait(lock);
            continue;
        }
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
    }
}
