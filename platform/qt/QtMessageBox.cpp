#include "platform/qt/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>

void QtMessageBox::Show(const char* text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(),
                    QString::fromUtf8(text ? text : ""), QMessageBox::Ok);
    box.exec();
}
