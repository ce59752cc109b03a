#pragma once
// The dialog framework's default behaviour on top of the dialog contract:
// modal run, data exchange, the default commands. Dialogs of the program
// derive from it and override what they handle.

#include "platform/Dialog.h"

class CDataExchange;

class CDialogBase : public IDialogHandler {
public:
    explicit CDialogBase(const DialogTemplate& tmpl) : m_template(tmpl) {}
    ~CDialogBase() override;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Result of the run: IDOK, IDCANCEL, or -1 when no window could be made.
    int DoModal();
    // Pull (true) or push (false) through DoDataExchange.
    bool UpdateData(bool bSaveAndValidate = true);

    const DialogTemplate& Template() const { return m_template; }
    // Null while the dialog has no window.
    IDialog* GetWindow() const { return m_pWnd; }

    void OnAttach(IDialog* pWnd) override { m_pWnd = pWnd; }
    // Binds and pushes; returns 1.
    int OnInitDialog() override;
    // IDOK and IDCANCEL reach OnOK and OnCancel.
    void OnCommand(int nId) override;
    // SC_CLOSE cancels.
    void OnSysCommand(unsigned nId) override;
    // Pulls, then ends the run with IDOK.
    virtual void OnOK();
    virtual void OnCancel();
    bool DestroyWindow() override;
    void PostNcDestroy() override { m_pWnd = nullptr; }

protected:
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}

    IDialog* m_pWnd = nullptr;

private:
    const DialogTemplate& m_template;
};
