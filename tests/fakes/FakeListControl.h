#pragma once
// A list box or combo box without a screen, sorted (the launcher's two) or
// not, by the rules of platform/ListControl.h.

#include <string>
#include <vector>

#include "platform/ListControl.h"

class FakeListControl final : public IListControl {
public:
    explicit FakeListControl(bool bSorted = true) : m_bSorted(bSorted) {}

    int AddString(const std::string& text) override;
    int GetCount() const override { return static_cast<int>(m_items.size()); }
    std::string GetText(int n) const override;
    int GetCurSel() const override { return m_nCurSel; }
    int SetCurSel(int n) override;

private:
    bool m_bSorted;
    std::vector<std::string> m_items;
    int m_nCurSel = LB_ERR;
};
