#pragma once
// A list box (QListWidget) or a combo box (QComboBox) behind the list control
// contract. The entries' bytes are kept here; the widget shows them as
// DisplayText.

#include <string>
#include <vector>

#include "platform/ListControl.h"

class QComboBox;
class QListWidget;

class QtListControl final : public IListControl {
public:
    QtListControl(QListWidget* pList, bool bSorted);
    QtListControl(QComboBox* pCombo, bool bSorted);

    int AddString(const std::string& text) override;
    int GetCount() const override;
    std::string GetText(int n) const override;
    int GetCurSel() const override;
    int SetCurSel(int n) override;

private:
    QListWidget* m_pList = nullptr;
    QComboBox* m_pCombo = nullptr;
    bool m_bSorted;
    std::vector<std::string> m_items;
};
