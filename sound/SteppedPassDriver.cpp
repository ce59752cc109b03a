#include "sound/SteppedPassDriver.h"

#include "sound/SoundBank.h"

bool CSteppedPassDriver::Step() {
    if (!m_pBank) return false;
    m_pBank->RunPass();
    return true;
}
