#include "tests/fakes/FakeAudioDevice.h"

#include <chrono>

void FakeAudioDevice::SetPresent(bool bPresent) {
    std::lock_guard lock(m_mutex);
    m_bPresent = bPresent;
    if (!bPresent && m_bOpen) m_bLost = true;
}

void FakeAudioDevice::SetRefuseOpens(bool bRefuse) {
    std::lock_guard lock(m_mutex);
    m_bRefuseOpens = bRefuse;
}

void FakeAudioDevice::SetHardwareRate(int nRate) {
    std::lock_guard lock(m_mutex);
    m_nHardwareRate = nRate;
}

void FakeAudioDevice::MoveClock(int64_t ms) {
    std::lock_guard lock(m_mutex);
    m_nowMs += ms;
}

bool FakeAudioDevice::Advance(int64_t ms) {
    std::unique_lock lock(m_mutex);
    m_nowMs += ms;
    // The first read from now on starts a round at the new time; the second
    // starts the round after it.
    const uint64_t nTarget = m_nClockReads + 2;
    return m_clockCv.wait_for(lock, std::chrono::seconds(5),
                              [&] { return m_nClockReads >= nTarget; });
}

std::vector<float> FakeAudioDevice::Pull(int nFrames) {
    std::lock_guard callbackLock(m_callbackMutex);
    Spec spec;
    {
        std::lock_guard lock(m_mutex);
        if (!m_bOpen || !m_bStarted) return {};
        spec = m_spec;
    }
    std::vector<float> out(2 * static_cast<size_t>(nFrames));
    spec.callback(spec.pUser, out.data(), nFrames);
    return out;
}

int FakeAudioDevice::Probes() const {
    std::lock_guard lock(m_mutex);
    return m_nProbes;
}

std::vector<IAudioDevice::Spec> FakeAudioDevice::Opens() const {
    std::lock_guard lock(m_mutex);
    return m_opens;
}

bool FakeAudioDevice::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_bOpen;
}

int FakeAudioDevice::Probe(std::string& strError) {
    std::lock_guard lock(m_mutex);
    ++m_nProbes;
    if (!m_bPresent) strError = "no fake device";
    return m_bPresent ? 1 : 0;
}

bool FakeAudioDevice::Open(const Spec& spec, int& nRate, std::string& strError) {
    std::lock_guard lock(m_mutex);
    m_opens.push_back(spec);
    if (!m_bPresent || m_bRefuseOpens || m_bOpen) {
        strError = m_bOpen ? "already open" : "the fake device refuses";
        return false;
    }
    m_spec = spec;
    m_bOpen = true;
    m_bStarted = false;
    m_bLost = false;
    nRate = spec.bAllowRateChange ? m_nHardwareRate : spec.nRate;
    return true;
}

void FakeAudioDevice::Start() {
    std::lock_guard lock(m_mutex);
    m_bStarted = m_bOpen;
}

bool FakeAudioDevice::Lost() {
    std::lock_guard lock(m_mutex);
    return m_bLost;
}

void FakeAudioDevice::Close() {
    std::lock_guard callbackLock(m_callbackMutex);
    std::lock_guard lock(m_mutex);
    m_bOpen = false;
    m_bStarted = false;
    m_bLost = false;
}

int64_t FakeAudioDevice::NowMs() {
    std::lock_guard lock(m_mutex);
    ++m_nClockReads;
    m_clockCv.notify_all();
    return m_nowMs;
}
