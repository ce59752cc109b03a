#include "platform/ErrnoText.h"

#include <cstdio>
#include <cstring>

namespace {

// The GNU strerror_r returns the text, which may or may not be in buf; the
// POSIX one returns 0 and fills buf.
[[maybe_unused]] const char* Text(const char* pszText, const char*) { return pszText; }
[[maybe_unused]] const char* Text(int nResult, const char* buf) {
    return nResult == 0 ? buf : nullptr;
}

}  // namespace

std::string ErrnoText(int nError) {
    char buf[256];
    buf[0] = '\0';
    const char* pszText = Text(strerror_r(nError, buf, sizeof buf), buf);
    if (pszText && *pszText) return pszText;
    std::snprintf(buf, sizeof buf, "error %d", nError);
    return buf;
}
