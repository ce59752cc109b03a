#pragma once
// A dialog on Qt Widgets, built from a template: one widget per control,
// placed by converting dialog units with the base units of the dialog's font
// (the average width of the Latin letters and the line height).

#include <QDialog>
#include <QIcon>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Dialog.h"

class QtListControl;

class QtDialog final : public QDialog, public IDialog {
    Q_OBJECT

public:
    QtDialog(const DialogTemplate& tmpl, IDialogHandler& handler, QWidget* pOwner);
    ~QtDialog() override;

    // Hands the window to the handler and runs its OnInitDialog; false when
    // the handler destroyed it meanwhile (it is deleted then).
    bool Initialise(bool bShow);

    // The control with that id; null when there is none.
    QWidget* Control(int nId) const;
    // Dialog units to pixels, as the layout converts them.
    QRect DialogUnitsToPixels(int x, int y, int cx, int cy) const;

    std::string GetDlgItemText(int nId) const override;
    void SetDlgItemText(int nId, const std::string& text) override;
    int IsDlgButtonChecked(int nId) const override;
    void CheckDlgButton(int nId, int nCheck) override;
    void ShowDlgItem(int nId, bool bShow) override;
    IListControl* GetListControl(int nId) override;
    bool HasSystemMenu() const override;
    void AppendSystemMenu(unsigned nFlags, unsigned nId, const std::string& text) override;
    void SetIcon(const IconResource& icon, bool bBigIcon) override;
    void EndDialog(int nResult) override;
    void Destroy() override;

    // The system menu as it would open now: entry ids, 0 for a separator.
    std::vector<unsigned> SystemMenuIds() const;
    // Chooses a system menu entry as the menu would.
    void ChooseSystemMenu(unsigned nId);

public slots:
    void accept() override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct MenuEntry {
        unsigned nFlags;
        unsigned nId;
        QString text;
    };
    // What SetDlgItemText put into an edit, to give the bytes back unchanged.
    struct SetText {
        std::string bytes;
        QString shown;
    };

    void MakeControl(const DialogItem& item);
    template <typename Call>
    void Dispatch(Call call);

    IDialogHandler* m_pHandler;
    const uint32_t m_dwStyle;
    int m_nBaseX = 1;
    int m_nBaseY = 1;
    std::map<int, QWidget*> m_controls;
    std::map<int, std::unique_ptr<QtListControl>> m_lists;
    std::map<int, SetText> m_setTexts;
    std::vector<MenuEntry> m_systemMenu;
    QWidget* m_pFirstTabStop = nullptr;
    QIcon m_icon;
    int m_nDepth = 0;  // handler calls under way
    bool m_bDestroyed = false;
    bool m_bShown = false;  // OnShown has been asked for
};
