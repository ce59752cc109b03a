#pragma once
// What sound output this machine offers the program, found the way the wave
// output finds it, without playing anything: for a readiness check.

#include <string>

struct SoundOutputInfo {
    bool bFound = false;
    std::string strDriver;  // SDL's audio driver, or "file" for ZARNDEMO_AUDIO_FILE
    std::string strDevice;  // the default device's name, or the file's path
    int nRate = 0;          // its rate in Hz; 0 when it does not say
    std::string strWhy;     // when nothing was found
};

SoundOutputInfo DescribeSoundOutput();
