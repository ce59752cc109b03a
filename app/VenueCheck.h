#pragma once
// zarndemo --check: the venue's readiness, one line each, without opening
// anything on screen: the sound output, each camera, the clip, the wave list
// and every file of it that fails, each screen and whether the chosen one
// is there. Cameras, clips and sounds are read through the platform's
// services, as the shows read them; what only the backends know (the sound
// output, the screens) comes in with the facts.

#include <cstdio>
#include <string>
#include <vector>

#include "app/VenueOptions.h"

struct VenueScreen {
    std::string strName;
    int x = 0, y = 0, nWidth = 0, nHeight = 0;
};

struct VenueFacts {
    bool bSoundFound = false;
    std::string strSound;  // "driver, device, rate", or why there is none
    bool bDisplay = false;
    std::vector<VenueScreen> screens;
    std::string strGateClip;  // the gate show's fixed clip
};

// Prints the lines to out; 0 when everything the chosen show needs is there,
// 1 otherwise.
int RunVenueCheck(const VenueChoices& choices, const VenueFacts& facts, std::FILE* out);
