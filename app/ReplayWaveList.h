#pragma once
// The sounds a wave list names, as the launcher lists them for the detection
// window: the folder they are read from, and their names in the launcher's
// order.

#include <string>
#include <vector>

struct ReplayWaves {
    std::string strFolder;  // the list's folder, ending in a separator; empty for the working one
    std::vector<std::string> names;
};

// False with one line in error when the list cannot be read or names no sound.
bool ReadReplayWaves(const std::string& path, ReplayWaves& waves, std::string& error);
