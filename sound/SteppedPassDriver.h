#pragma once
// A pass driver whose passes run when its owner steps them, on the owner's
// thread: a virtual clock steps it every 10 virtual milliseconds, a test
// whenever it likes.

#include "sound/PassDriver.h"

class CSteppedPassDriver : public IPassDriver {
public:
    void Start(CSoundBank& bank) override { m_pBank = &bank; }
    void Stop(CSoundBank& /*bank*/) override { m_pBank = nullptr; }

    // Runs one pass of the bank; nothing before the bank's first accepted
    // Play or after its destruction. True when a pass ran.
    bool Step();
    bool Started() const { return m_pBank != nullptr; }

private:
    CSoundBank* m_pBank = nullptr;
};
