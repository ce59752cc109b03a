#pragma once
// The black window behind the shows in kiosk mode: it covers the whole show
// screen, hides the pointer over itself and the shows in it, and keeps the
// launcher out of sight behind it. The show windows are its children, so
// they sit where the shows put them even where a program cannot place its
// own top-level windows (Wayland), where it is made full-screen instead.

#include <QPointer>
#include <QWidget>

class QScreen;

class QtBackdrop final : public QWidget {
    Q_OBJECT

public:
    // pOwner: the main window it stays above and ends with; may be null.
    QtBackdrop(QScreen* pScreen, QWidget* pOwner);

    // Puts the backdrop and the shows in it above the main window again.
    void Raise();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* pWatched, QEvent* event) override;

private:
    void CoverScreen();

    QPointer<QScreen> m_pScreen;
    QPointer<QWidget> m_pOwner;
};
