#pragma once
// One QApplication for the whole test program, made on first use and kept to
// the end (tests run with QT_QPA_PLATFORM=offscreen).

#include <QApplication>

inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "zarn_detect_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}
