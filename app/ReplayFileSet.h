#pragma once
// Puts the files of one replay into a folder in place of an older replay's,
// so that the folder holds the one set or the other and never a mix: the
// older files go aside into a folder of their own, the new ones take their
// names, and a failure on the way puts the older ones back.

#include <string>
#include <vector>

struct ReplaySetFile {
    const char* szName;   // its name in the folder
    std::string strPart;  // the new file to take that name; empty when this
                          // run writes none, and an older one must go
};

// Renames in the order given. False with one line in error; the folder then
// holds the older files as before, and the parts not yet named are left to
// the caller.
bool SwapInReplaySet(const std::string& folder, const std::vector<ReplaySetFile>& files,
                     std::string& error);
