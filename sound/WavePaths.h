#pragma once
// The files a wave list's names stand for: folder + name + ".wav". A list
// written on Windows names its sounds in code page 949 bytes, while the
// files themselves usually carry UTF-8 names on Linux; such a name is tried
// in UTF-8 too, and how many were found that way is told once.

#include <string>
#include <utility>

class CWavePaths {
public:
    explicit CWavePaths(std::string strFolder) : m_strFolder(std::move(strFolder)) {}

    // The path as it stands when that file exists or the name is UTF-8;
    // otherwise the name read as code page 949, when that file exists.
    std::string PathOf(const std::string& strName);
    // One line about the names found only in UTF-8; empty when there were none.
    std::string Note() const;

private:
    std::string m_strFolder;
    int m_nConverted = 0;
    std::string m_strFirstConverted;  // as found
};
