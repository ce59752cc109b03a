#include "replay/ReplayWaveList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace {

// A longer file is no wave list; it is not read into memory whole.
constexpr size_t MAX_LIST_BYTES = size_t{1} << 20;

}  // namespace

bool ReadReplayWaves(const std::string& path, ReplayWaves& waves, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot read the wave list " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string bytes(MAX_LIST_BYTES + 1, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    const bool bReadFailed = std::ferror(f) != 0;
    const int nErrno = errno;
    std::fclose(f);
    if (bReadFailed) {
        error = "cannot read the wave list " + path + ": " + std::strerror(nErrno);
        return false;
    }
    if (bytes.size() > MAX_LIST_BYTES) {
        error = "the wave list " + path + " is too long to be one";
        return false;
    }
    std::istringstream in(bytes);
    int nCount = 0;
    std::string name;
    waves.names.clear();
    if (in >> nCount)
        while (static_cast<int>(waves.names.size()) < nCount && in >> name)
            waves.names.push_back(name);
    if (waves.names.empty()) {
        error = "the wave list " + path + " names no sound";
        return false;
    }
    std::sort(
        waves.names.begin(), waves.names.end(), [](const std::string& a, const std::string& b) {
            return std::lexicographical_compare(
                a.begin(), a.end(), b.begin(), b.end(),
                [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
        });
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    waves.strFolder = folder.empty() ? std::string() : folder.string() + "/";
    return true;
}
