#include "tests/fakes/FakeListControl.h"

#include "platform/ListOrder.h"

int FakeListControl::AddString(const std::string& text) {
    // After any equal entries, so equal strings keep their order of coming.
    const size_t at = m_bSorted ? platform::SortedInsertPosition(m_items, text) : m_items.size();
    const int n = static_cast<int>(at);
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(at), text);
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
