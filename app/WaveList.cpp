#include "app/WaveList.h"

#include <algorithm>
#include <climits>

namespace {

// White space as the C library's formatted input knows it.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

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

}  // namespace

WaveListReading ReadWaveList(std::string_view bytes) {
    WaveListReading reading;
    size_t pos = 0;
    reading.bHasCount = ReadCount(bytes, pos, reading.nCount);
    if (!reading.bHasCount || reading.nCount <= 0) return reading;

    const size_t nWanted = static_cast<size_t>(std::min(reading.nCount, MAX_WAVE_LIST_ENTRIES));
    while (reading.entries.size() < nWanted) {
        SkipSpace(bytes, pos);
        if (pos >= bytes.size()) break;
        const size_t start = pos;
        while (pos < bytes.size() && !IsSpace(bytes[pos])) ++pos;
        std::string_view token = bytes.substr(start, pos - start);
        if (token.size() >= WAVE_NAME_BYTES) {
            token = token.substr(0, WAVE_NAME_BYTES - 1);
            ++reading.nCutNames;
        }
        reading.entries.emplace_back(token.substr(0, token.find('\0')));
    }
    reading.nNamesRead = static_cast<int>(reading.entries.size());
    if (!reading.entries.empty()) reading.entries.resize(nWanted, reading.entries.back());
    return reading;
}
