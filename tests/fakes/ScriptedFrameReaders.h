#pragma once
// Frame readers for tests of code that reads on threads of its own. Every
// reader made here delivers frame n as the same small packed bitmap, Frame(n),
// and notes each call it answered: which reader, which frame, on which thread.
// A reader can be made to tell keyframes every k frames, to fail chosen
// frames, and one call can be held inside GetFrame until the test lets it
// go. Readers may outlive this object.

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/VideoFile.h"

class ScriptedFrameReaders {
public:
    struct Call {
        int nReader;
        uint32_t nFrame;
        std::thread::id thread;
        bool bDelivered;
    };

    ScriptedFrameReaders();

    // Reader number nReader; frames at or past dwLength are not delivered.
    std::unique_ptr<IFrameReader> Make(int nReader, uint32_t dwLength);

    // The bitmap every reader delivers for frame n, header first.
    static std::vector<uint8_t> Frame(uint32_t n);

    // From now on every reader tells a jump to n costs n % k + 1 pictures.
    void KeyEvery(uint32_t k);
    // From now on reader nReader does not deliver frame n.
    void Fail(int nReader, uint32_t n);
    // The next call for frame n, on any reader, waits inside GetFrame until
    // Release. WaitHeld waits until that call is waiting.
    void HoldNext(uint32_t n);
    bool WaitHeld() const;
    void Release();

    // Every call answered so far, in order.
    std::vector<Call> Calls() const;
    // Waits until pred holds for the calls answered; false when it did not
    // within 10 s.
    bool WaitFor(const std::function<bool(const std::vector<Call>&)>& pred) const;
    // Calls that came while another call on the same reader was under way.
    int Overlaps() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};
