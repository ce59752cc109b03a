#include "platform/qt/QtBackdrop.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

QtBackdrop::QtBackdrop(QScreen* pScreen, QWidget* pOwner)
    : QWidget(pOwner, Qt::Window | Qt::FramelessWindowHint), m_pScreen(pScreen), m_pOwner(pOwner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::BlankCursor);
    setWindowTitle(QStringLiteral("ZARNDemo show"));
    // The launcher goes behind whenever it shows again.
    if (pOwner) pOwner->installEventFilter(this);
    CoverScreen();
}

void QtBackdrop::CoverScreen() {
    QScreen* pScreen = m_pScreen ? m_pScreen.data() : QGuiApplication::primaryScreen();
    if (!pScreen) return;
    setScreen(pScreen);
    setGeometry(pScreen->geometry());
    if (QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
        showFullScreen();
    else
        show();
}

void QtBackdrop::Raise() {
    raise();
    for (QObject* pChild : children())
        if (auto* pWidget = qobject_cast<QWidget*>(pChild); pWidget && pWidget->isVisible())
            pWidget->raise();
}

void QtBackdrop::paintEvent(QPaintEvent* event) {
    QPainter(this).fillRect(event->rect(), Qt::black);
}

bool QtBackdrop::eventFilter(QObject* pWatched, QEvent* event) {
    if (pWatched == m_pOwner && event->type() == QEvent::Show) {
        // On the show screen, so that nothing of it shows beside the backdrop.
        QScreen* pScreen = m_pScreen ? m_pScreen.data() : QGuiApplication::primaryScreen();
        if (pScreen && m_pOwner->screen() != pScreen) {
            const QRect area = pScreen->geometry();
            m_pOwner->move(area.center() - m_pOwner->rect().center());
        }
        // After the launcher's own window has come up.
        QTimer::singleShot(0, this, [this] { Raise(); });
    }
    return QWidget::eventFilter(pWatched, event);
}
