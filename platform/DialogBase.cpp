#include "platform/DialogBase.h"

#include "platform/DataExchange.h"

CDialogBase::~CDialogBase() {
    if (m_pWnd) m_pWnd->Destroy();
}

int CDialogBase::DoModal() { return platform::Dialogs().DoModal(m_template, *this); }

bool CDialogBase::UpdateData(bool bSaveAndValidate) {
    if (!m_pWnd) return false;
    CDataExchange dx(m_pWnd, bSaveAndValidate);
    DoDataExchange(&dx);
    return true;
}

int CDialogBase::OnInitDialog() {
    UpdateData(false);
    return 1;
}

void CDialogBase::OnCommand(int nId) {
    if (nId == IDOK)
        OnOK();
    else if (nId == IDCANCEL)
        OnCancel();
}

void CDialogBase::OnSysCommand(unsigned nId) {
    if ((nId & 0xFFF0) == SC_CLOSE) OnCancel();
}

void CDialogBase::OnOK() {
    UpdateData(true);
    if (m_pWnd) m_pWnd->EndDialog(IDOK);
}

void CDialogBase::OnCancel() {
    if (m_pWnd) m_pWnd->EndDialog(IDCANCEL);
}

bool CDialogBase::DestroyWindow() {
    if (!m_pWnd) return false;
    m_pWnd->Destroy();
    return true;
}
