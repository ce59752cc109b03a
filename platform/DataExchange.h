#pragma once
// Data exchange between a dialog's members and its controls: a push copies
// the members into the controls, a pull copies the controls into the
// members. List controls are bound, not copied: the first exchange binds the
// member to the control, later ones leave it.

#include <cstdint>
#include <string>

class IDialog;
class IListControl;

class CDataExchange {
public:
    CDataExchange(IDialog* pDlgWnd, bool bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    const bool m_bSaveAndValidate;  // true: pull
    IDialog* const m_pDlgWnd;
};

void DDX_Control(CDataExchange* pDX, int nId, IListControl*& rControl);
// Whole text.
void DDX_Text(CDataExchange* pDX, int nId, std::string& value);
// Ticked is 1, clear is 0.
void DDX_Check(CDataExchange* pDX, int nId, int32_t& value);
