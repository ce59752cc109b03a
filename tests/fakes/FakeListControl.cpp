#include "tests/fakes/FakeListControl.h"

#include <algorithm>
#include <cctype>

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

}  // namespace

int FakeListControl::AddString(const std::string& text) {
    // After any equal entries, so equal strings keep their order of coming.
    const auto at = m_bSorted
                        ? std::upper_bound(m_items.begin(), m_items.end(), text, LessIgnoringCase)
                        : m_items.end();
    const int n = static_cast<int>(at - m_items.begin());
    m_items.insert(at, text);
    if (m_nCurSel != LB_ERR && n <= m_nCurSel) ++m_nCurSel;
    return n;
}

std::string FakeListControl::GetText(int n) const {
    return n >= 0 && n < GetCount() ? m_items[static_cast<size_t>(n)] : std::string();
}

int FakeListControl::SetCurSel(int n) {
    m_nCurSel = n >= 0 && n < GetCount() ? n : LB_ERR;
    return m_nCurSel;
}
