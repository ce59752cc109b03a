#include "sound/PassDriver.h"

#include "sound/SoundBank.h"

WAVEHDR* IPassDriver::AllocBufferPool(int /*nSlot*/, uint32_t dwBufferBytes, int nCount) {
    return CSoundBank::AllocBufferPool(dwBufferBytes, nCount);
}
