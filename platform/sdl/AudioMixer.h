#pragma once
// The mixer behind the SDL wave output: any number of PCM streams (up to
// kMaxStreams), each converted to float by an SDL_AudioStream of its own and
// to the output rate by libswresample, summed and soft-limited.
//
// Mix is called by the output (the SDL device's callback, the file writer's
// thread, or the pacer that stands in for a device that has gone); it takes
// only the mixer's short lock and never allocates once a stream has been
// primed at open. A stream whose converter refuses data, or needs more
// feeding than its rate can explain, is silent for the
// rest of that Mix call and fed again in the next: nothing is dropped, and the
// audio thread never spins under the lock. A buffer is done when Mix has
// taken its last byte; a notifier thread of the mixer's own delivers the done
// callbacks, in written order per stream, so user code never runs on the
// audio thread. An owner that pulls the mix in its own time delivers them in
// WaitDelivered instead.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/WaveOut.h"

struct _SDL_AudioStream;  // SDL's converter

class AudioMixer {
public:
    static constexpr int kMaxStreams = 64;

    // Told when a stream's first bytes go into the mix, on the mixing thread
    // under the mixer's lock: it may only note the fact (no lock, no
    // allocation, no call into the mixer). bHeard is false when that mix goes
    // to nothing, the output being gone. For measurements made outside.
    struct TakeProbe {
        void (*pFirstTake)(void* pUser, bool bHeard);  // null for none
        void* pUser;
    };

    // Who runs the done callbacks of what Mix finishes: the notifier, woken
    // by Mix, or the thread that pulls the mix, in WaitDelivered after each
    // Mix. The notifier still delivers what Reset finishes.
    enum class Delivery { ByNotifier, ByPuller };

    explicit AudioMixer(int outputRate, TakeProbe probe = {},
                        Delivery delivery = Delivery::ByNotifier);
    ~AudioMixer();
    AudioMixer(const AudioMixer&) = delete;
    AudioMixer& operator=(const AudioMixer&) = delete;

    int OutputRate() const { return m_outputRate; }

    // The stream operations of IWaveOut, with its results.
    MMRESULT Open(HWAVEOUT* phwo, const WAVEFORMATEX& wfx, WaveOutCallback callback,
                  uintptr_t dwInstance);
    MMRESULT Prepare(HWAVEOUT hwo, WAVEHDR* pwh);
    MMRESULT Unprepare(HWAVEOUT hwo, WAVEHDR* pwh);
    MMRESULT Write(HWAVEOUT hwo, WAVEHDR* pwh);
    MMRESULT Reset(HWAVEOUT hwo);
    MMRESULT Close(HWAVEOUT hwo);

    // Fills frames stereo float frames (interleaved) with the mix; bHeard
    // says whether it goes to an output or is thrown away.
    void Mix(float* pOut, int frames, bool bHeard);
    // Returns once every done callback of the buffers Mix has finished has
    // run and every stream that has played out is freed, running on the
    // caller's thread those the notifier has not begun: for an owner that
    // pulls the mix in its own time and must find the same state after each
    // pull, whatever the notifier's timing.
    void WaitDelivered();
    // Any stream open, or closed but still sounding its tail.
    bool HasStreams();

    // The mix as 16-bit samples, as a file or a pulled output takes it.
    static void ToPcm16(const float* pMix, int16_t* pOut, size_t nSamples);

private:
    struct Stream;

    Stream* FindLocked(HWAVEOUT hwo);
    bool PullLocked(Stream& s, int nWanted, int& nGot, bool bHeard, bool& bAnyDone);
    int PutPieceLocked(Stream& s, float* pOut, int nOut, bool bHeard, bool& bAnyDone);
    void NotifierThread();
    bool DeliverOneLocked(std::unique_lock<std::mutex>& lock);

    const int m_outputRate;
    const TakeProbe m_probe;
    const bool m_bPullerDelivers;
    std::mutex m_mutex;
    std::condition_variable m_notifyCv;  // the notifier has work, or must quit
    std::condition_variable m_idleCv;    // a delivery has ended
    Stream* m_streams[kMaxStreams] = {};
    Stream* m_pDelivering = nullptr;  // whose callback runs now
    bool m_bQuit = false;
    std::vector<float> m_sum;    // one block of the mix
    std::vector<float> m_take;   // one stream's share of it
    std::vector<float> m_piece;  // one piece of a stream, at its own rate
    std::thread m_notifier;
};
