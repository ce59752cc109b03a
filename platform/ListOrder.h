#pragma once
// The order of sorted list and combo boxes: alphabetical ignoring case (ASCII
// letters fold, every other byte compares by value), so that a name read
// from a code page 949 file and the same name typed in UTF-8 sort alike
// wherever they are plain ASCII.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
// Negative, zero or positive as a sorts before, with or after b.
int CompareNoCase(std::string_view a, std::string_view b);
// Where text lands among sorted items: after every item that does not sort
// after it, so equal texts keep the order in which they came.
size_t SortedInsertPosition(const std::vector<std::string>& items, std::string_view text);
}  // namespace platform
