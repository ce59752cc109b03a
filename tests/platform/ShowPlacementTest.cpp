// Shows on a chosen screen of two, offscreen: a show window lands at that
// screen's top-left corner, and in kiosk mode a backdrop covers that screen
// only, holds the show and keeps the main window behind it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <cstdlib>

#include "platform/qt/QtShowWindow.h"
#include "platform/qt/QtShowWindows.h"

namespace {

// Two screens side by side, before the application reads its platform.
const bool g_bTwoScreens =
    setenv("QT_QPA_PLATFORM", "offscreen:configfile=" ZARN_TWO_SCREENS_CONFIG, 1) == 0;

QApplication& App() {
    static int argc = 1;
    static char name[] = "zarn_show_placement_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Places its window as the shows do: 1024 x 768 from the shows' (0, 0).
class PlacedShow final : public IShowWindowHandler {
public:
    void OnAttach(IShowWindow* pWnd) override { m_pWnd = pWnd; }
    int OnInitDialog() override {
        m_pWnd->SetNormalRect(WindowRect{0, 0, 1024, 768});
        return 1;
    }
    void OnTimer(uintptr_t) override {}
    void PostNcDestroy() override { m_pWnd = nullptr; }
    IShowWindow* m_pWnd = nullptr;
};

class ShowPlacement : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(g_bTwoScreens);
        App();
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
        second = QGuiApplication::screens()[1];
        ASSERT_EQ(second->name(), "HDMI-1");
    }
    QScreen* second = nullptr;
};

TEST_F(ShowPlacement, AShowLandsAtTheChosenScreensCornerAndSeesItsOwnCoordinates) {
    QtShowWindows host;
    host.SetScreen(second);
    PlacedShow show;
    auto* pWnd = dynamic_cast<QtShowWindow*>(host.Create(show));
    ASSERT_NE(pWnd, nullptr);
    pWnd->Show(true);
    EXPECT_EQ(pWnd->frameGeometry(), QRect(1280, 0, 1024, 768));
    const WindowRect rect = pWnd->GetNormalRect();
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.right, 1024);
    pWnd->Destroy();
}

TEST_F(ShowPlacement, TheKioskBackdropCoversThatScreenOnlyAndKeepsTheMainWindowBehind) {
    QWidget launcher;
    launcher.resize(400, 200);
    QtShowWindows host;
    host.SetScreen(second);
    host.SetKiosk(true);
    host.SetMainWindow(&launcher);
    launcher.show();
    QCoreApplication::processEvents();

    PlacedShow show;
    auto* pWnd = dynamic_cast<QtShowWindow*>(host.Create(show));
    ASSERT_NE(pWnd, nullptr);
    pWnd->Show(true);
    QWidget* backdrop = pWnd->parentWidget();
    ASSERT_NE(backdrop, nullptr);
    EXPECT_TRUE(backdrop->isWindow() && backdrop->isVisible());
    EXPECT_EQ(backdrop->frameGeometry(), second->geometry());
    EXPECT_EQ(backdrop->cursor().shape(), Qt::BlankCursor);
    EXPECT_EQ(pWnd->cursor().shape(), Qt::BlankCursor);
    EXPECT_EQ(pWnd->mapToGlobal(QPoint(0, 0)), QPoint(1280, 0));
    // The launcher went to the show screen, under the backdrop it owns.
    EXPECT_TRUE(second->geometry().contains(launcher.frameGeometry()));
    EXPECT_EQ(backdrop->parentWidget(), &launcher);

    // The show ends with its owner's end, as it would without the backdrop.
    bool bEnded = false;
    QObject::connect(pWnd, &QObject::destroyed, [&bEnded] { bEnded = true; });
    delete backdrop;
    EXPECT_TRUE(bEnded);
    EXPECT_EQ(show.m_pWnd, nullptr);
}

}  // namespace
