// libFuzzer entry: any bytes as a wave list, read from memory as the
// launcher reads the file. Besides the sanitizers' own checks, a reading
// keeps the promises the list box and the detection window rely on: names
// within their buffer, with no white space or NUL, as many entries as the
// count asks (up to the bound) or none, and a note for a count that the
// entries do not match.
#include <algorithm>
#include <cstring>

#include "app/WaveList.h"
#include "tests/support/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const WaveListReading reading = ReadWaveList({reinterpret_cast<const char*>(data), size});
    const int nEntries = reading.nEntries;
    const int nNamesRead = static_cast<int>(reading.names.size());
    FuzzCheck(reading.bHasCount || (nEntries == 0 && nNamesRead == 0 && reading.notes.size() == 1),
              "no count, nothing read and one note");
    FuzzCheck(!reading.bHasCount || reading.nCount > 0 ||
                  (nEntries == 0 && nNamesRead == 0 && reading.notes.empty()),
              "a count of 0 or less reads nothing and notes nothing");
    FuzzCheck(nEntries == (nNamesRead == 0 ? 0 : std::min(reading.nCount, MAX_WAVE_LIST_ENTRIES)),
              "entries as the count asks, up to the bound, when a name was read");
    FuzzCheck(nNamesRead <= nEntries && reading.nCutNames <= nNamesRead,
              "names read and cut are among the entries");
    FuzzCheck(reading.nCount <= 0 || reading.nCount == nEntries || !reading.notes.empty(),
              "a count other than the entries is noted");
    if (nEntries > 0)
        FuzzCheck(&reading.Entry(nEntries - 1) == &reading.names.back(), "the last repeats");
    for (const std::string& name : reading.names) {
        FuzzCheck(name.size() < WAVE_NAME_BYTES, "a name fits its buffer");
        for (const char c : name)
            FuzzCheck(c != '\0' && !std::strchr(" \t\n\v\f\r", c), "a name holds no NUL or space");
    }
    return 0;
}
