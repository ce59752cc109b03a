#include "platform/qt/QtDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "platform/qt/QtFontFaces.h"
#include "platform/qt/QtListControl.h"
#include "platform/qt/QtText.h"

namespace {

// a * b / c rounded half away from zero, as dialog units are converted.
int MulDiv(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    return static_cast<int>((p >= 0 ? p + c / 2 : p - c / 2) / c);
}

QPixmap IconPixmap(const IconResource& icon, int nSize) {
    const IconImage* pBest = nullptr;
    for (const IconImage& image : icon.images)
        if (!pBest || image.nSize == nSize) pBest = &image;
    return pBest ? QPixmap(pBest->ppXpm) : QPixmap();
}

}  // namespace

QtDialog::QtDialog(const DialogTemplate& tmpl, IDialogHandler& handler, QWidget* pOwner)
    : QDialog(pOwner), m_pHandler(&handler), m_dwStyle(tmpl.dwStyle) {
    setWindowTitle(QString::fromUtf8(tmpl.strCaption.c_str()));
    QFont font(StandInFace(QString::fromUtf8(tmpl.strFace.c_str())));
    font.setPointSize(tmpl.nPointSize > 0 ? tmpl.nPointSize : 9);
    setFont(font);

    // The base units of the dialog's font.
    const QFontMetrics metrics(font);
    const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    m_nBaseX = std::max(1, (metrics.horizontalAdvance(letters) / 26 + 1) / 2);
    m_nBaseY = std::max(1, metrics.height());

    const QRect client = DialogUnitsToPixels(0, 0, tmpl.cx, tmpl.cy);
    setFixedSize(client.size());
    setSizeGripEnabled(false);

    for (const DialogItem& item : tmpl.items) MakeControl(item);
    for (const Accelerator& accel : tmpl.accelerators) {
        auto* shortcut =
            new QShortcut(QKeySequence(QString::fromUtf8(accel.strKeys.c_str())), this);
        const int nCommand = accel.nCommand;
        connect(shortcut, &QShortcut::activated, this, [this, nCommand] {
            Dispatch([nCommand](IDialogHandler& h) { h.OnCommand(nCommand); });
        });
    }
}

QtDialog::~QtDialog() {
    // Ended along with its owner rather than through Destroy.
    if (!m_bDestroyed) {
        m_bDestroyed = true;
        if (IDialogHandler* pHandler = std::exchange(m_pHandler, nullptr))
            pHandler->PostNcDestroy();
    }
}

QRect QtDialog::DialogUnitsToPixels(int x, int y, int cx, int cy) const {
    return QRect(MulDiv(x, m_nBaseX, 4), MulDiv(y, m_nBaseY, 8), MulDiv(cx, m_nBaseX, 4),
                 MulDiv(cy, m_nBaseY, 8));
}

void QtDialog::MakeControl(const DialogItem& item) {
    const QString text = QString::fromUtf8(item.strText.c_str());
    QRect rect = DialogUnitsToPixels(item.x, item.y, item.cx, item.cy);
    QWidget* pWidget = nullptr;
    const int nId = item.nId;
    const auto sendCommand = [this, nId] {
        Dispatch([nId](IDialogHandler& h) { h.OnCommand(nId); });
    };
    switch (item.kind) {
        case DialogItemKind::PushButton: {
            auto* button = new QPushButton(text, this);
            button->setAutoDefault(false);
            button->setDefault((item.dwStyle & 0xF) == BS_DEFPUSHBUTTON);
            connect(button, &QPushButton::clicked, this, sendCommand);
            pWidget = button;
            break;
        }
        case DialogItemKind::CheckBox: {
            auto* box = new QCheckBox(text, this);
            connect(box, &QCheckBox::clicked, this, sendCommand);
            pWidget = box;
            break;
        }
        case DialogItemKind::GroupBox: {
            // Only a frame: the controls inside it are its siblings and get
            // every click.
            auto* group = new QGroupBox(text, this);
            group->setAttribute(Qt::WA_TransparentForMouseEvents);
            pWidget = group;
            break;
        }
        case DialogItemKind::Edit:
            pWidget = new QLineEdit(this);
            break;
        case DialogItemKind::ListBox: {
            auto* list = new QListWidget(this);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            m_lists[nId] = std::make_unique<QtListControl>(list, (item.dwStyle & LBS_SORT) != 0);
            pWidget = list;
            break;
        }
        case DialogItemKind::ComboBox: {
            auto* combo = new QComboBox(this);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            m_lists[nId] = std::make_unique<QtListControl>(combo, (item.dwStyle & CBS_SORT) != 0);
            // The template's height includes the dropped-down list.
            rect.setHeight(combo->sizeHint().height());
            pWidget = combo;
            break;
        }
        case DialogItemKind::Static: {
            auto* label = new QLabel(this);
            if ((item.dwStyle & 0x1F) == SS_ICON && item.pIcon) {
                const QPixmap pixmap = IconPixmap(*item.pIcon, 32);
                label->setPixmap(pixmap);
                rect.setSize(pixmap.size());
            } else {
                label->setTextFormat(Qt::PlainText);
                label->setText(text);
            }
            pWidget = label;
            break;
        }
    }
    pWidget->setGeometry(rect);
    if (!item.accessible.strName.empty())
        pWidget->setAccessibleName(QString::fromUtf8(item.accessible.strName.c_str()));
    if (!item.accessible.strDescription.empty())
        pWidget->setAccessibleDescription(
            QString::fromUtf8(item.accessible.strDescription.c_str()));
    if (item.kind == DialogItemKind::GroupBox) pWidget->lower();
    if (!(item.dwStyle & WS_TABSTOP)) {
        if (item.kind != DialogItemKind::PushButton && item.kind != DialogItemKind::CheckBox)
            pWidget->setFocusPolicy(Qt::NoFocus);
    } else if (!m_pFirstTabStop) {
        m_pFirstTabStop = pWidget;
    }
    if (nId != IDC_STATIC) {
        pWidget->setObjectName(QString::number(nId));
        m_controls[nId] = pWidget;
    }
}

bool QtDialog::Initialise(bool bShow) {
    ++m_nDepth;
    m_pHandler->OnAttach(this);
    const int nFocus = m_pHandler->OnInitDialog();
    --m_nDepth;
    if (m_bDestroyed) {
        delete this;
        return false;
    }
    if (bShow) show();
    if (nFocus && m_pFirstTabStop) m_pFirstTabStop->setFocus();
    return true;
}

template <typename Call>
void QtDialog::Dispatch(Call call) {
    if (m_bDestroyed || !m_pHandler) return;
    ++m_nDepth;
    call(*m_pHandler);
    --m_nDepth;
    // Destroyed by its own handler while Qt still delivers the event.
    if (m_bDestroyed && m_nDepth == 0) deleteLater();
}

QWidget* QtDialog::Control(int nId) const {
    const auto it = m_controls.find(nId);
    return it == m_controls.end() ? nullptr : it->second;
}

std::string QtDialog::GetDlgItemText(int nId) const {
    QWidget* pWidget = Control(nId);
    QString text;
    if (auto* edit = qobject_cast<QLineEdit*>(pWidget)) {
        text = edit->text();
    } else if (auto* combo = qobject_cast<QComboBox*>(pWidget)) {
        text = combo->currentText();
    } else if (auto* button = qobject_cast<QAbstractButton*>(pWidget)) {
        text = button->text();
    } else if (auto* label = qobject_cast<QLabel*>(pWidget)) {
        text = label->text();
    } else if (auto* group = qobject_cast<QGroupBox*>(pWidget)) {
        text = group->title();
    }
    const auto it = m_setTexts.find(nId);
    if (it != m_setTexts.end() && it->second.shown == text) return it->second.bytes;
    return text.toStdString();
}

void QtDialog::SetDlgItemText(int nId, const std::string& bytes) {
    QWidget* pWidget = Control(nId);
    const QString text = DisplayText(bytes);
    if (auto* edit = qobject_cast<QLineEdit*>(pWidget)) {
        edit->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(pWidget)) {
        combo->setEditText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(pWidget)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(pWidget)) {
        label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(pWidget)) {
        group->setTitle(text);
    } else {
        return;
    }
    m_setTexts[nId] = SetText{bytes, text};
}

int QtDialog::IsDlgButtonChecked(int nId) const {
    auto* button = qobject_cast<QAbstractButton*>(Control(nId));
    return button && button->isChecked() ? 1 : 0;
}

void QtDialog::CheckDlgButton(int nId, int nCheck) {
    if (auto* button = qobject_cast<QAbstractButton*>(Control(nId)))
        if (button->isCheckable()) button->setChecked(nCheck != 0);
}

void QtDialog::ShowDlgItem(int nId, bool bShow) {
    if (QWidget* pWidget = Control(nId)) pWidget->setVisible(bShow);
}

IListControl* QtDialog::GetListControl(int nId) {
    const auto it = m_lists.find(nId);
    return it == m_lists.end() ? nullptr : it->second.get();
}

bool QtDialog::HasSystemMenu() const { return (m_dwStyle & WS_SYSMENU) != 0; }

void QtDialog::AppendSystemMenu(unsigned nFlags, unsigned nId, const std::string& text) {
    if (HasSystemMenu())
        m_systemMenu.push_back(
            MenuEntry{nFlags, nFlags & MF_SEPARATOR ? 0u : nId, DisplayText(text)});
}

void QtDialog::SetIcon(const IconResource& icon, bool bBigIcon) {
    const QPixmap pixmap = IconPixmap(icon, bBigIcon ? 32 : 16);
    if (pixmap.isNull()) return;
    m_icon.addPixmap(pixmap);
    setWindowIcon(m_icon);
}

void QtDialog::EndDialog(int nResult) {
    if (!m_bDestroyed) done(nResult);
}

void QtDialog::Destroy() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    hide();
    // The windows this one owns end first, as the handler expects.
    for (QWidget* pChild : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (pChild->isWindow()) delete pChild;
    if (IDialogHandler* pHandler = std::exchange(m_pHandler, nullptr)) pHandler->PostNcDestroy();
    if (m_nDepth == 0) delete this;
}

std::vector<unsigned> QtDialog::SystemMenuIds() const {
    std::vector<unsigned> ids;
    if (!HasSystemMenu()) return ids;
    ids.push_back(SC_CLOSE);
    for (const MenuEntry& entry : m_systemMenu) ids.push_back(entry.nId);
    return ids;
}

void QtDialog::ChooseSystemMenu(unsigned nId) {
    Dispatch([nId](IDialogHandler& h) { h.OnSysCommand(nId); });
}

void QtDialog::accept() {
    Dispatch([](IDialogHandler& h) { h.OnCommand(IDOK); });
}

void QtDialog::reject() {
    Dispatch([](IDialogHandler& h) { h.OnCommand(IDCANCEL); });
}

void QtDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_bShown) return;
    m_bShown = true;
    // From the event loop, so that a modal run is under way when it comes.
    QTimer::singleShot(0, this, [this] { Dispatch([](IDialogHandler& h) { h.OnShown(); }); });
}

void QtDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
                button->click();
            else
                accept();
            return;
        case Qt::Key_Escape:
            reject();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void QtDialog::contextMenuEvent(QContextMenuEvent* event) {
    if (!HasSystemMenu()) {
        event->ignore();
        return;
    }
    QMenu menu(this);
    QAction* pClose = menu.addAction(QString::fromUtf8("닫기(&C)\tAlt+F4"));
    pClose->setData(SC_CLOSE);
    for (const MenuEntry& entry : m_systemMenu) {
        if (entry.nFlags & MF_SEPARATOR)
            menu.addSeparator();
        else
            menu.addAction(entry.text)->setData(entry.nId);
    }
    if (QAction* pChosen = menu.exec(event->globalPos()))
        ChooseSystemMenu(pChosen->data().toUInt());
}
