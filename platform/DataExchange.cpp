#include "platform/DataExchange.h"

#include "platform/Dialog.h"

void DDX_Control(CDataExchange* pDX, int nId, IListControl*& rControl) {
    if (!rControl) rControl = pDX->m_pDlgWnd->GetListControl(nId);
}

void DDX_Text(CDataExchange* pDX, int nId, std::string& value) {
    if (pDX->m_bSaveAndValidate)
        value = pDX->m_pDlgWnd->GetDlgItemText(nId);
    else
        pDX->m_pDlgWnd->SetDlgItemText(nId, value);
}

void DDX_Check(CDataExchange* pDX, int nId, int32_t& value) {
    if (pDX->m_bSaveAndValidate)
        value = pDX->m_pDlgWnd->IsDlgButtonChecked(nId) ? 1 : 0;
    else
        pDX->m_pDlgWnd->CheckDlgButton(nId, value ? 1 : 0);
}
