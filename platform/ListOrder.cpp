#include "platform/ListOrder.h"

#include <algorithm>

namespace {

unsigned char Fold(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

}  // namespace

namespace platform {

int CompareNoCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int d = Fold(a[i]) - Fold(b[i]);
        if (d != 0) return d;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

size_t SortedInsertPosition(const std::vector<std::string>& items, std::string_view text) {
    const auto it = std::upper_bound(
        items.begin(), items.end(), text,
        [](std::string_view t, const std::string& item) { return CompareNoCase(t, item) < 0; });
    return static_cast<size_t>(it - items.begin());
}

}  // namespace platform
