#pragma once
// Reading a wave list: a decimal count, then that many wave names separated
// by white space. Bytes in, the count and the entries to list out, so that
// the rules hold without a file.
//
// - The count reads as "%d" does: white space skipped, an optional sign,
//   digits; a count beyond the int range is clamped to it. A first token that
//   is not a number gives no count, and nothing else is read.
// - A name is a run of bytes that are not white space, taken as it stands up
//   to a NUL. Its buffer holds 299 bytes: a longer run is cut to its first
//   299 bytes and the rest of it passed over, so every name stays in its
//   place.
// - A positive count N asks for N entries. When fewer names follow, the last
//   name read fills the missing entries; when none follows, there are no
//   entries at all. At most MAX_WAVE_LIST_ENTRIES entries come from one
//   reading, whatever the count declares.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t WAVE_NAME_BYTES = 300;  // a name's buffer, terminating NUL included
// The sound bank holds 21 clips; a list far longer than that is a damaged
// count, and must not fill the memory with repeats.
constexpr int MAX_WAVE_LIST_ENTRIES = 1024;
// Room for the longest list of names that is read: MAX_WAVE_LIST_ENTRIES
// names of the longest length with white space around them.
constexpr size_t MAX_WAVE_LIST_BYTES = size_t{1} << 20;

struct WaveListReading {
    bool bHasCount = false;
    int nCount = 0;
    std::vector<std::string> entries;  // in the file's order
    int nNamesRead = 0;                // names present, up to the entries asked for
    int nCutNames = 0;                 // of them, names of WAVE_NAME_BYTES bytes or more
};

WaveListReading ReadWaveList(std::string_view bytes);
