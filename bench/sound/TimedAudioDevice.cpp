#include "bench/sound/TimedAudioDevice.h"

#include <chrono>

TimedAudioDevice::TimedAudioDevice(IAudioDevice& inner, int nBufferFrames)
    : m_inner(inner), m_nBufferFrames(nBufferFrames) {}

bool TimedAudioDevice::Open(const Spec& spec, int& nRate, std::string& strError) {
    m_spec = spec;
    Spec timed = spec;
    timed.nFrames = m_nBufferFrames;
    timed.callback = &Timed;
    timed.pUser = this;
    m_lastNs = 0;
    if (!m_inner.Open(timed, nRate, strError)) return false;
    m_nRate = nRate;
    return true;
}

// A device asks for its next buffer as soon as one is free, so each call
// leaves its queue full: two calls' worth of sound (SDL's double buffering).
void TimedAudioDevice::Timed(void* pUser, float* pOut, int nFrames) {
    auto* self = static_cast<TimedAudioDevice*>(pUser);
    const int64_t nowNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    const int64_t callNs = int64_t{nFrames} * 1'000'000'000 / self->m_nRate;
    if (self->m_lastNs != 0 && nowNs - self->m_lastNs > 2 * callNs)
        self->m_nLateCalls.fetch_add(1, std::memory_order_relaxed);
    self->m_lastNs = nowNs;
    self->m_spec.callback(self->m_spec.pUser, pOut, nFrames);
}
