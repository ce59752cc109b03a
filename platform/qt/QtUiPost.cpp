#include "platform/qt/QtUiPost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <utility>

void QtPostToUiThread(std::function<void()> call) {
    QCoreApplication* pApp = QCoreApplication::instance();
    if (!pApp || !call) return;
    QMetaObject::invokeMethod(pApp, std::move(call), Qt::QueuedConnection);
}
