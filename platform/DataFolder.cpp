#include "platform/DataFolder.h"

#include <climits>
#include <unistd.h>

#ifndef ZARN_DATA_FROM_BINDIR
#define ZARN_DATA_FROM_BINDIR "../share/zarndemo"
#endif

namespace platform {

std::string DataFolder() {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return {};
    std::string path(exe, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    path.resize(slash + 1);
    return path + ZARN_DATA_FROM_BINDIR "/";
}

}  // namespace platform
