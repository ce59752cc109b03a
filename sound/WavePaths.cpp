#include "sound/WavePaths.h"

#include <unistd.h>

#include <string>

#include "platform/CodePage949.h"

namespace {

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

}  // namespace

std::string CWavePaths::PathOf(const std::string& strName) {
    std::string path = m_strFolder + strName + ".wav";
    if (Exists(path) || IsUtf8(strName)) return path;
    bool bExact = false;
    const std::string strUtf8 = Cp949ToUtf8(strName, &bExact);
    if (!bExact) return path;
    std::string converted = m_strFolder + strUtf8 + ".wav";
    if (!Exists(converted)) return path;
    if (m_nConverted++ == 0) m_strFirstConverted = strUtf8 + ".wav";
    return converted;
}

std::string CWavePaths::Note() const {
    if (m_nConverted == 0) return {};
    return std::to_string(m_nConverted) +
           " wave name(s) of the list are code page 949 and were found under their UTF-8 "
           "names, the first \"" +
           m_strFirstConverted + "\"";
}
