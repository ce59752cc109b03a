#include "platform/CodePage949.h"

#include <iconv.h>

#include <cerrno>

namespace {

// bytes decoded from pszFrom into UTF-8, each undecodable byte as U+FFFD.
std::string ToUtf8(const char* pszFrom, std::string_view bytes, bool& bExact) {
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::string out;
    bExact = true;
    iconv_t cd = iconv_open("UTF-8", pszFrom);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        bExact = bytes.empty();
        for (size_t i = 0; i < bytes.size(); ++i) out += kReplacement;
        return out;
    }
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // Not a character, or cut short at the end.
            bExact = false;
            out += kReplacement;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

bool IsUtf8(std::string_view bytes) {
    bool bExact = false;
    ToUtf8("UTF-8", bytes, bExact);
    return bExact;
}

std::string Cp949ToUtf8(std::string_view bytes, bool* pbExact) {
    bool bExact = false;
    std::string text = ToUtf8("CP949", bytes, bExact);
    if (pbExact) *pbExact = bExact;
    return text;
}
