#include "app/WaveList.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>

#include "platform/UserFile.h"

namespace {

// White space as the C library's formatted input knows it: the blank, and
// tab, line feed, vertical tab, form feed and carriage return (9 to 13).
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void SkipSpace(std::string_view bytes, size_t& pos) {
    while (pos < bytes.size() && IsSpace(bytes[pos])) ++pos;
}

bool ReadCount(std::string_view bytes, size_t& pos, int& nCount) {
    SkipSpace(bytes, pos);
    size_t p = pos;
    const bool bNegative = p < bytes.size() && bytes[p] == '-';
    if (p < bytes.size() && (bytes[p] == '-' || bytes[p] == '+')) ++p;
    if (p >= bytes.size() || !IsDigit(bytes[p])) return false;
    long long value = 0;
    for (; p < bytes.size() && IsDigit(bytes[p]); ++p)
        value = std::min<long long>(value * 10 + (bytes[p] - '0'), 1LL + INT_MAX);
    if (bNegative) value = -value;
    nCount = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
    pos = p;
    return true;
}

__attribute__((format(printf, 1, 2))) std::string Format(const char* pszFormat, ...) {
    char line[160];
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(line, sizeof line, pszFormat, args);
    va_end(args);
    return line;
}

void AddNotes(WaveListReading& reading) {
    const int nCount = reading.nCount;
    if (reading.nCutNames > 0)
        reading.notes.push_back(Format("%d name(s) of %zu bytes or more cut to %zu",
                                       reading.nCutNames, WAVE_NAME_BYTES, WAVE_NAME_BYTES - 1));
    if (nCount > MAX_WAVE_LIST_ENTRIES)
        reading.notes.push_back(
            Format("count %d; only %d entries are listed", nCount, MAX_WAVE_LIST_ENTRIES));
    const int nNamesRead = static_cast<int>(reading.names.size());
    if (nNamesRead == 0)
        reading.notes.push_back(Format("count %d but no names", nCount));
    else if (nNamesRead < reading.nEntries)
        reading.notes.push_back(
            Format("count %d but %d name(s); the last one repeats", nCount, nNamesRead));
}

}  // namespace

WaveListReading ReadWaveList(std::string_view bytes) {
    WaveListReading reading;
    size_t pos = 0;
    reading.bHasCount = ReadCount(bytes, pos, reading.nCount);
    if (!reading.bHasCount) reading.notes.emplace_back("does not start with a count; nothing read");
    if (!reading.bHasCount || reading.nCount <= 0) return reading;

    const size_t nWanted = static_cast<size_t>(std::min(reading.nCount, MAX_WAVE_LIST_ENTRIES));
    // Every name but the first takes two bytes at least, with the white
    // space before it.
    reading.names.reserve(std::min(nWanted, (bytes.size() - pos + 1) / 2));
    while (reading.names.size() < nWanted) {
        SkipSpace(bytes, pos);
        if (pos >= bytes.size()) break;
        const size_t start = pos;
        while (pos < bytes.size() && !IsSpace(bytes[pos])) ++pos;
        std::string_view token = bytes.substr(start, pos - start);
        if (token.size() >= WAVE_NAME_BYTES) {
            token = token.substr(0, WAVE_NAME_BYTES - 1);
            ++reading.nCutNames;
        }
        reading.names.emplace_back(token.substr(0, token.find('\0')));
    }
    if (!reading.names.empty()) reading.nEntries = static_cast<int>(nWanted);
    AddNotes(reading);
    return reading;
}

bool ReadWaveListFile(const std::string& path, std::string& bytes, bool& bCut, std::string& error) {
    UserFile file = OpenUserFile(path.c_str(), error);
    if (!file) return false;
    bytes.resize(MAX_WAVE_LIST_BYTES + 1);
    const ssize_t got = file.Read(bytes.data(), bytes.size());
    const size_t total = got > 0 ? static_cast<size_t>(got) : 0;
    bCut = total > MAX_WAVE_LIST_BYTES;
    bytes.resize(bCut ? MAX_WAVE_LIST_BYTES : total);
    return true;
}
