#pragma once
// A WAV file of the fixed 44-byte header form, opened as a file the user
// named and its header read: what the loader and the venue check both need.

#include <string>

#include "platform/UserFile.h"
#include "sound/WaveHeader.h"

// The open file, standing at its data, with its header; a closed file with
// the reason in strWhy (a phrase to follow "cannot load X: ") otherwise.
UserFile OpenWaveFile(const char* path, WaveHeader& header, std::string& strWhy);

// What a refusal means, as a phrase.
const char* WaveRefusalText(WaveRefusal refusal);
