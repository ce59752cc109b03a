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
// - Each of these departures from the form is described in one note.

#include <algorithm>
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
    // The entries to list, nEntries of them: the names read, in the file's
    // order, then the last of them repeated. Repeats are not stored, so a
    // large count costs nothing.
    std::vector<std::string> names;  // at most nEntries
    int nEntries = 0;
    int nCutNames = 0;  // names of WAVE_NAME_BYTES bytes or more among them
    // What the reading departed from the form in, one line each without the
    // list's name: no count, names cut, a count beyond the entries, names
    // missing. None for a count of 0 or less.
    std::vector<std::string> notes;

    // Entry i, 0 <= i < nEntries.
    const std::string& Entry(int i) const {
        return names[std::min(static_cast<size_t>(i), names.size() - 1)];
    }
};

WaveListReading ReadWaveList(std::string_view bytes);

// The first MAX_WAVE_LIST_BYTES bytes of the file at path, and whether there
// were more; false, with the reason in error, when it is not a regular file
// that can be read. A named pipe picked by mistake is refused, never waited on.
bool ReadWaveListFile(const std::string& path, std::string& bytes, bool& bCut, std::string& error);
