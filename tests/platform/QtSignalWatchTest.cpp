// The signal watch without a window: a signal reaches its callback through
// the event loop, and the watch ends in order, its watchdog stood down. The
// vehicle of the watch's run under ThreadSanitizer (handler, watchdog thread
// and destruction); the whole program's ends are in tests/app/ProgramTest.cpp.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <csignal>

#include "platform/qt/QtSignalWatch.h"

TEST(QtSignalWatch, HandsTheSignalToTheEventLoopAndEndsInOrder) {
    int argc = 1;
    char arg0[] = "qt_tests";
    char* argv[] = {arg0, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    int nGot = 0;
    {
        QtSignalWatch watch([&nGot](int nSignal) {
            nGot = nSignal;
            QCoreApplication::exit(0);
        });
        ASSERT_TRUE(watch.Ok());
        QTimer::singleShot(0, [] { raise(SIGTERM); });
        QTimer::singleShot(ORDERLY_END_MS / 2, [] { QCoreApplication::exit(1); });
        EXPECT_EQ(QCoreApplication::exec(), 0);
    }
    EXPECT_EQ(nGot, SIGTERM);
    EXPECT_EQ(signal(SIGTERM, SIG_DFL), SIG_DFL) << "the previous handler is back";
}
