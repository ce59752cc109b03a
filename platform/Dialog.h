#pragma once
// Dialogs built from templates and run modally.
//
// Callers rely on:
// - IDialogs::DoModal(template, handler) makes the dialog's window with every
//   control of the template, hands it to OnAttach, runs OnInitDialog, shows
//   the dialog (focus on the first tab-stop control when OnInitDialog returned
//   non-zero) and returns when the run ends: through IDialog::EndDialog, or
//   when the program is told to end (result IDCANCEL). It then calls the
//   handler's DestroyWindow, whose base behaviour is IDialog::Destroy, and
//   destroys the window itself if that did not. Result -1 when no window could
//   be made (OnAttach and OnInitDialog are then skipped).
// - Commands: a click on a push button or a check box calls OnCommand(id),
//   after an auto check box has toggled its own tick; a template accelerator
//   calls OnCommand(its command). Enter with the focus on a push button clicks
//   it; elsewhere it sends OnCommand(IDOK). Escape and the window's close box
//   send OnCommand(IDCANCEL). Setting a tick or a text from the program sends
//   nothing.
// - The system menu: a right click on the dialog's background or the menu
//   key opens it when the template has WS_SYSMENU. It holds the framework's
//   close item (SC_CLOSE) and what AppendSystemMenu added; choosing an item
//   calls OnSysCommand(id).
// - Texts are bytes. They show as UTF-8 when they are valid UTF-8, otherwise
//   as code page 949. GetDlgItemText gives back the exact bytes last set while
//   the user has not changed the text, and UTF-8 once they have.
// - The main window (SetMainWindow) owns every show window made while it
//   exists; they are destroyed with it, before it.
// - OnShown runs once, from the event loop, after the dialog has first shown
//   (in a modal run: once the run is under way).
// - Destroy calls the handler's PostNcDestroy; the IDialog and the list
//   controls it handed out are invalid afterwards.
// Used on the user-interface thread only.

#include <string>

#include "platform/DialogTemplate.h"

class IListControl;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// System menu entries.
constexpr unsigned MF_STRING = 0x0;
constexpr unsigned MF_SEPARATOR = 0x800;
constexpr unsigned SC_CLOSE = 0xF060;

class IDialog {
public:
    virtual ~IDialog() = default;

    virtual std::string GetDlgItemText(int nId) const = 0;
    virtual void SetDlgItemText(int nId, const std::string& text) = 0;
    // 1 ticked, 0 clear.
    virtual int IsDlgButtonChecked(int nId) const = 0;
    virtual void CheckDlgButton(int nId, int nCheck) = 0;
    virtual void ShowDlgItem(int nId, bool bShow) = 0;
    // List box or combo box nId; null for other controls. Valid until Destroy.
    virtual IListControl* GetListControl(int nId) = 0;

    virtual bool HasSystemMenu() const = 0;
    // MF_SEPARATOR (id and text unused) or MF_STRING.
    virtual void AppendSystemMenu(unsigned nFlags, unsigned nId, const std::string& text) = 0;
    // The big (title bar, task switcher) or small window icon.
    virtual void SetIcon(const IconResource& icon, bool bBigIcon) = 0;

    // Ends the modal run with nResult; the window stays until Destroy.
    virtual void EndDialog(int nResult) = 0;
    virtual void Destroy() = 0;
};

// The program's side of a dialog: what the window calls.
class IDialogHandler {
public:
    virtual ~IDialogHandler() = default;

    virtual void OnAttach(IDialog* pWnd) = 0;
    // Non-zero: put the focus on the first tab-stop control.
    virtual int OnInitDialog() = 0;
    virtual void OnCommand(int nId) = 0;
    virtual void OnSysCommand(unsigned nId) = 0;
    // The dialog is on screen; nothing to do by default.
    virtual void OnShown() {}
    // After the modal run; the base behaviour is IDialog::Destroy.
    virtual bool DestroyWindow() = 0;
    // The window is gone.
    virtual void PostNcDestroy() = 0;
};

class IDialogs {
public:
    virtual ~IDialogs() = default;
    virtual int DoModal(const DialogTemplate& tmpl, IDialogHandler& handler) = 0;
    // The handler whose dialog is the program's main window; null for none.
    virtual void SetMainWindow(IDialogHandler* pHandler) = 0;
};

namespace platform {
// The process's dialog service; without one installed, DoModal says so on
// standard error and returns -1. Not owned.
IDialogs& Dialogs();
void SetDialogs(IDialogs* service);
}  // namespace platform
