#include "platform/qt/QtListControl.h"

#include <QComboBox>
#include <QListWidget>

#include "platform/ListOrder.h"
#include "platform/qt/QtText.h"

QtListControl::QtListControl(QListWidget* pList, bool bSorted)
    : m_pList(pList), m_bSorted(bSorted) {}

QtListControl::QtListControl(QComboBox* pCombo, bool bSorted)
    : m_pCombo(pCombo), m_bSorted(bSorted) {}

int QtListControl::AddString(const std::string& text) {
    const size_t pos = m_bSorted ? platform::SortedInsertPosition(m_items, text) : m_items.size();
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(pos), text);
    const int row = static_cast<int>(pos);
    if (m_pList) {
        m_pList->insertItem(row, DisplayText(text));
    } else {
        // Adding never selects, though Qt selects the first entry of an empty box.
        const bool bHadSelection = m_pCombo->currentIndex() >= 0;
        m_pCombo->insertItem(row, DisplayText(text));
        if (!bHadSelection) m_pCombo->setCurrentIndex(-1);
    }
    return row;
}

int QtListControl::GetCount() const { return static_cast<int>(m_items.size()); }

std::string QtListControl::GetText(int n) const {
    return n >= 0 && n < GetCount() ? m_items[static_cast<size_t>(n)] : std::string();
}

int QtListControl::GetCurSel() const {
    if (m_pCombo) return m_pCombo->currentIndex();
    const QListWidgetItem* item = m_pList->currentItem();
    return item && item->isSelected() ? m_pList->currentRow() : LB_ERR;
}

int QtListControl::SetCurSel(int n) {
    const bool bInside = n >= 0 && n < GetCount();
    if (m_pCombo) {
        m_pCombo->setCurrentIndex(bInside ? n : -1);
    } else if (bInside) {
        m_pList->setCurrentRow(n, QItemSelectionModel::ClearAndSelect);
    } else {
        m_pList->clearSelection();
    }
    return bInside ? n : LB_ERR;
}
