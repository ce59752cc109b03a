// The launcher on the Qt dialog host, offscreen, with the file dialogs faked.

#include <dirent.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <set>
#include <tuple>

#include "app/ZARNDemoDlg.h"
#include "detect/ShowWaveDlg.h"
#include "detect/ShowWaveTap.h"
#include "gateshow/ShowDlg.h"
#include "platform/ListControl.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/qt/QtDialog.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtShowWindow.h"
#include "platform/qt/QtShowWindows.h"
#include "platform/qt/QtText.h"
#include "platform/v4l2/V4l2Capture.h"
#include "res/Resources.h"
#include "res/resource.h"
#include "tests/detect/QtTestApp.h"
#include "tests/fakes/FakeCapture.h"
#include "tests/fakes/FakeFileDialogs.h"
#include "tests/fakes/ScriptedV4l2Device.h"
#include "tests/fakes/SimulatedWaveOut.h"
#include "tests/sound/WavTestFiles.h"

namespace {

int ThreadCount() {
    int n = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++n;
        closedir(dir);
    }
    return n;
}

int OpenShowWindows() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QtShowWindow*>(w) && w->isVisible()) ++n;
    return n;
}

class Launcher : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        platform::SetShowWindows(&showWindows);
        platform::SetDialogs(&dialogs);
        platform::SetFileDialogs(&files);
        platform::SetVideoFiles(&video);
        platform::SetWaveOut(&waveOut);
        platform::SetCapture(pCapture);
        dialogs.SetMainWindow(&dlg);
        wnd = dialogs.Open(LauncherTemplate(), dlg, true);
        ASSERT_NE(wnd, nullptr);
    }
    void TearDown() override {
        if (dlg.GetWindow()) dlg.DestroyWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform::SetCapture(nullptr);
        platform::SetWaveOut(nullptr);
        platform::SetVideoFiles(nullptr);
        platform::SetFileDialogs(nullptr);
        platform::SetDialogs(nullptr);
        platform::SetShowWindows(nullptr);
    }

    QWidget* Control(int nId) {
        QWidget* w = wnd->Control(nId);
        EXPECT_NE(w, nullptr) << nId;
        return w;
    }
    void Click(int nId) { qobject_cast<QAbstractButton*>(Control(nId))->click(); }
    QLineEdit* Edit(int nId) { return qobject_cast<QLineEdit*>(Control(nId)); }
    std::tuple<int, bool> CameraState() {
        return {wnd->IsDlgButtonChecked(IDC_USE_CAMERA), !Control(IDC_AVI_OPEN)->isHidden()};
    }
    // Chooses the list with "Wave Open" and reads it with "등록".
    void Register(const std::string& path) {
        files.Confirm({path});
        Click(IDC_WAVE_OPEN);
        Click(IDC_WAVE_REGISTER);
    }
    // A key typed while target has the focus.
    void OpenSamples() {
        Register(ZARN_SAMPLES_DIR "/waves/waves.txt");
        files.Confirm({ZARN_SAMPLES_DIR "/stage.avi"});
        Click(IDC_AVI_OPEN);
    }
    // Ctrl+G typed into the launcher.
    void CtrlG() {
        QApplication::setActiveWindow(wnd);
        QTest::keyClick(wnd, Qt::Key_G, Qt::ControlModifier);
    }
    void Key(QWidget* target, int key) {
        target->setFocus();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    }

    QtShowWindows showWindows;
    QtDialogs dialogs{&showWindows};
    FakeFileDialogs files;
    FfmpegVideoFiles video;
    SimulatedWaveOut waveOut;
    FakeCapture capture;
    ICapture* pCapture = &capture;
    wavtest::TempDir dir;
    CZARNDemoDlg dlg;
    QtDialog* wnd = nullptr;
};

TEST_F(Launcher, CameraBoxFollowsItsOwnRecordAfterAPushPutTheTickOutOfStep) {
    using State = std::tuple<int, bool>;  // tick, "Avi Open" shown (the camera record)
    EXPECT_EQ(CameraState(), State(0, true));
    Click(IDC_USE_CAMERA);
    EXPECT_EQ(CameraState(), State(1, false));
    Click(IDC_USE_CAMERA);
    EXPECT_EQ(CameraState(), State(0, true));

    Click(IDC_USE_CAMERA);
    files.Cancel();
    Click(IDC_WAVE_OPEN);  // pushes the unticked camera member
    EXPECT_EQ(CameraState(), State(0, false));
    Click(IDC_SHOW_DETECT);
    EXPECT_EQ(dlg.GetUseCamera(), 0);
    Click(IDC_USE_CAMERA);
    EXPECT_EQ(CameraState(), State(0, true));
}

TEST_F(Launcher, TypedPathsReachTheMembersOnlyThroughShowAndAreLostToAFileDialog) {
    struct Step {
        int nButton;
        std::vector<std::string> answer;  // empty: cancelled
        const char* pszAviEdit;
        const char* pszListEdit;
    };
    const Step steps[] = {
        {IDC_AVI_OPEN, {"/clips/a.avi", "/clips/b.avi"}, "/clips/a.avi", ""},
        {IDC_WAVE_OPEN, {}, "/clips/a.avi", ""},
        {IDC_WAVE_OPEN, {"/lists/w.txt"}, "/clips/a.avi", "/lists/w.txt"},
        {IDC_AVI_OPEN, {}, "/clips/a.avi", "/lists/w.txt"},
    };
    for (const Step& step : steps) {
        Edit(IDC_AVI_PATH)->setText("typed.avi");
        Edit(IDC_WAVE_LIST_PATH)->setText("typed.txt");
        if (step.answer.empty())
            files.Cancel();
        else
            files.Confirm(step.answer);
        Click(step.nButton);
        EXPECT_EQ(Edit(IDC_AVI_PATH)->text(), step.pszAviEdit);
        EXPECT_EQ(Edit(IDC_WAVE_LIST_PATH)->text(), step.pszListEdit);
    }
    ASSERT_EQ(files.Requests().size(), 4u);
    const OpenFileRequest& avi = files.Requests()[0];
    const OpenFileRequest& list = files.Requests()[1];
    EXPECT_EQ(std::tie(avi.strDefExt, avi.dwFlags, avi.strFilter),
              std::make_tuple("Avi", 0x1200u, "Avi Files (*.avi)|*.avi||"));
    EXPECT_EQ(std::tie(list.strDefExt, list.dwFlags, list.strFilter),
              std::make_tuple("txt", 0x1200u, "Wave List Files (*.txt)|*.txt||"));
    EXPECT_EQ(files.Owners()[0], wnd);

    Edit(IDC_AVI_PATH)->setText("typed.avi");
    EXPECT_EQ(dlg.GetAviPath(), "/clips/a.avi");
    Click(IDC_SHOW_DETECT);
    EXPECT_EQ(dlg.GetAviPath(), "typed.avi");
}

TEST_F(Launcher, WaveFolderIsTheChosenListsFolder) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"/w/list.txt"}, "/w/"},
        {{"/list.txt"}, "/"},
        {{"/data/sets/tests.txt"}, "/data/sets/"},
        {{"/a/x.txt", "/b/y.txt"}, "/a/"},
    };
    for (const auto& [answer, pszFolder] : cases) {
        files.Confirm(answer);
        Click(IDC_WAVE_OPEN);
        EXPECT_EQ(Edit(IDC_WAVE_LIST_PATH)->text().toStdString(), answer.front());
        EXPECT_EQ(dlg.GetWaveFolder(), pszFolder);
    }
}

struct WaveListCase {
    const char* pszName;
    std::vector<std::string> files;  // registered one after the other
    std::vector<std::string> entries;
    int nWindowCount;  // how many entries the detection window takes
};
void PrintTo(const WaveListCase& c, std::ostream* os) { *os << c.pszName; }

class WaveLists : public Launcher, public ::testing::WithParamInterface<WaveListCase> {};

TEST_P(WaveLists, RegisterAddsSortedEntries) {
    const WaveListCase& c = GetParam();
    for (size_t i = 0; i < c.files.size(); ++i) {
        const std::string& text = c.files[i];
        Register(dir.Write("list" + std::to_string(i) + ".txt",
                           std::vector<uint8_t>(text.begin(), text.end())));
    }
    if (c.files.empty()) Click(IDC_WAVE_REGISTER);

    std::vector<std::string> entries;
    IListControl* pList = wnd->GetListControl(IDC_WAVE_NAMES);
    for (int i = 0; i < pList->GetCount(); ++i) entries.push_back(pList->GetText(i));
    EXPECT_EQ(entries, c.entries);
    EXPECT_EQ(dlg.GetWaveCount(), c.nWindowCount);

    auto* widget = qobject_cast<QListWidget*>(Control(IDC_WAVE_NAMES));
    ASSERT_EQ(widget->count(), static_cast<int>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(widget->item(static_cast<int>(i))->text(), DisplayText(entries[i]));
    EXPECT_EQ(pList->GetCurSel(), entries.empty() ? LB_ERR : 0);
}

const std::string LONG_NAME(400, 'n');

INSTANTIATE_TEST_SUITE_P(
    Launcher, WaveLists,
    ::testing::Values(
        WaveListCase{"OnLines", {"3\ngong\nBell\ndrum\n"}, {"Bell", "drum", "gong"}, 3},
        WaveListCase{"OnOneLine", {"3 gong Bell drum"}, {"Bell", "drum", "gong"}, 3},
        WaveListCase{"NamesBeyondTheCount", {"2 a b c"}, {"a", "b"}, 2},
        WaveListCase{"CountBeyondTheNames", {"4\ta\tb\tc"}, {"a", "b", "c", "c"}, 4},
        WaveListCase{"SameFileTwice", {"2 a b", "2 a b"}, {"a", "a", "b", "b"}, 2},
        WaveListCase{"SecondFileMerged", {"2 b d", "3 a c e"}, {"a", "b", "c", "d", "e"}, 3},
        WaveListCase{"NoPath", {}, {}, 0},
        WaveListCase{"NotANumber", {"2 a b", "x y z"}, {"a", "b"}, 2},
        WaveListCase{"CountWithoutNames", {"1 a", " 3 "}, {"a"}, 1},
        WaveListCase{"NegativeCount", {"-2 a b"}, {}, 0},
        WaveListCase{"SubFolder", {"1 sub/gong"}, {"sub/gong"}, 1},
        WaveListCase{
            "LongNameCut", {"2 " + LONG_NAME + " next"}, {"next", LONG_NAME.substr(0, 299)}, 2},
        WaveListCase{"Cp949Names", {"2 \xBA\xCF \xB1\xDD"}, {"\xB1\xDD", "\xBA\xCF"}, 2},
        WaveListCase{"HugeCountBounded",
                     {"99999999999 a"},
                     std::vector<std::string>(1024, "a"),
                     1024}),
    [](const auto& info) { return info.param.pszName; });

TEST_F(Launcher, KoreanNamesShowDecoded) {
    EXPECT_EQ(DisplayText("\xBA\xCF"), QString::fromUtf8("북"));
    EXPECT_EQ(DisplayText("\xEB\xB6\x81"), QString::fromUtf8("북"));
}

TEST_F(Launcher, KeysRunTheDefaultCommands) {
    files.Cancel();
    Key(Control(IDC_WAVE_OPEN), Qt::Key_Return);  // a focused push button is clicked
    EXPECT_EQ(files.Requests().size(), 1u);
    EXPECT_TRUE(wnd->isVisible());

    Edit(IDC_AVI_PATH)->setText("typed.avi");
    Key(Edit(IDC_AVI_PATH), Qt::Key_Return);  // accepts, pulling the controls
    EXPECT_FALSE(wnd->isVisible());
    EXPECT_EQ(wnd->result(), IDOK);
    EXPECT_EQ(dlg.GetAviPath(), "typed.avi");

    wnd->show();
    Key(Control(IDC_WAVE_NAMES), Qt::Key_Escape);
    EXPECT_EQ(wnd->result(), IDCANCEL);
}

TEST_F(Launcher, EveryControlGetsTheClicksOnIt) {
    for (const DialogItem& item : LauncherTemplate().items) {
        if (item.nId == IDC_STATIC) continue;
        QWidget* w = Control(item.nId);
        QWidget* hit = wnd->childAt(w->geometry().center());
        EXPECT_TRUE(hit == w || w->isAncestorOf(hit)) << item.nId;
    }
}

TEST_F(Launcher, SystemMenuOpensTheAboutBox) {
    EXPECT_EQ(wnd->SystemMenuIds(), (std::vector<unsigned>{SC_CLOSE, 0, IDM_ABOUTBOX}));
    QString caption;
    QTimer::singleShot(0, [&caption] {
        auto* about = qobject_cast<QtDialog*>(QApplication::activeModalWidget());
        if (!about) return;
        caption = about->windowTitle();
        qobject_cast<QAbstractButton*>(about->Control(IDOK))->click();
    });
    wnd->ChooseSystemMenu(IDM_ABOUTBOX);  // returns when the about box has closed
    EXPECT_EQ(caption, QString::fromUtf8("ZARNDemo 정보"));
    EXPECT_TRUE(wnd->isVisible());

    wnd->ChooseSystemMenu(SC_CLOSE);
    EXPECT_FALSE(wnd->isVisible());
    EXPECT_EQ(wnd->result(), IDCANCEL);
}

TEST_F(Launcher, OneDetectionWindowAndBankAtATimeAndNoneAfterTheLauncher) {
    OpenSamples();
    const int nThreadsBefore = ThreadCount();

    Click(IDC_SHOW_DETECT);
    ASSERT_NE(g_pDetectShow, nullptr);
    EXPECT_EQ(OpenShowWindows(), 1);
    const int nThreadsOpen = ThreadCount();
    Click(IDC_SHOW_DETECT);
    EXPECT_EQ(OpenShowWindows(), 1);
    EXPECT_EQ(ThreadCount(), nThreadsOpen);

    // A camera that gives up leaves nothing to reach.
    Click(IDC_USE_CAMERA);
    Click(IDC_SHOW_DETECT);
    EXPECT_EQ(g_pDetectShow, nullptr);
    EXPECT_FALSE(g_bDetectShowOpen);
    EXPECT_EQ(OpenShowWindows(), 0);
    Click(IDC_USE_CAMERA);
    Click(IDC_SHOW_DETECT);
    EXPECT_EQ(OpenShowWindows(), 1);

    dlg.DestroyWindow();
    EXPECT_EQ(g_pDetectShow, nullptr);
    EXPECT_EQ(OpenShowWindows(), 0);
    EXPECT_LE(ThreadCount(), nThreadsBefore);
}

}  // namespace

namespace {

TEST_F(Launcher, OneGateShowAtATimeAndBothShowsEndWithTheLauncher) {
    OpenSamples();
    const int nThreadsBefore = ThreadCount();
    CtrlG();
    ASSERT_NE(g_pGateShow, nullptr);
    EXPECT_EQ(OpenShowWindows(), 1);
    const int nThreadsOpen = ThreadCount();
    CtrlG();
    EXPECT_EQ(OpenShowWindows(), 1);
    EXPECT_EQ(ThreadCount(), nThreadsOpen);

    Click(IDC_SHOW_DETECT);
    EXPECT_EQ(OpenShowWindows(), 2);
    dlg.DestroyWindow();
    EXPECT_EQ(g_pGateShow, nullptr);
    EXPECT_FALSE(g_bGateShowOpen);
    EXPECT_EQ(g_pDetectShow, nullptr);
    EXPECT_EQ(OpenShowWindows(), 0);
    EXPECT_LE(ThreadCount(), nThreadsBefore);
}

QString AccessibleText(QWidget* w, QAccessible::Text kind) {
    QAccessibleInterface* pAccessible = QAccessible::queryAccessibleInterface(w);
    return pAccessible ? pAccessible->text(kind) : QString();
}

// A screen reader tells every control apart by a name that holds what a
// sighted user reads on it or, for the fields, beside it; both shows, the
// detection window through the run report's tap, are named too.
TEST_F(Launcher, ScreenReadersNameEveryControlAndBothShows) {
    std::set<QString> names;
    for (const DialogItem& item : LauncherTemplate().items) {
        if (item.nId == IDC_STATIC) continue;
        const QString name = AccessibleText(Control(item.nId), QAccessible::Name);
        EXPECT_TRUE(name.contains(QString::fromUtf8(item.strText.c_str()))) << item.nId;
        EXPECT_TRUE(names.insert(name).second) << item.nId << " has the name of another control";
        EXPECT_FALSE(AccessibleText(Control(item.nId), QAccessible::Description).isEmpty())
            << item.nId;
    }
    EXPECT_EQ(AccessibleText(Control(IDC_AVI_PATH), QAccessible::Name), "Clip file");
    EXPECT_EQ(AccessibleText(Control(IDC_WAVE_LIST_PATH), QAccessible::Name), "Wave list file");

    IShowWaveObserver observer;
    CShowWaveTap tap(showWindows, observer);
    platform::SetShowWindows(&tap);
    OpenSamples();
    Click(IDC_SHOW_DETECT);
    CtrlG();
    std::set<std::string> shows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QtShowWindow*>(w) && w->isVisible()) {
            EXPECT_FALSE(AccessibleText(w, QAccessible::Description).isEmpty());
            shows.insert(AccessibleText(w, QAccessible::Name).toStdString());
        }
    ASSERT_NE(g_pDetectShow, nullptr);
    ASSERT_NE(g_pGateShow, nullptr);
    const std::set<std::string> expected{g_pDetectShow->Accessible().strName,
                                         g_pGateShow->Accessible().strName};
    EXPECT_EQ(shows, expected);
    EXPECT_EQ(expected.size(), 2u);
    EXPECT_EQ(expected.count(""), 0u);
    dlg.DestroyWindow();
}

// Two cameras whose names sort against their nodes' order, with the
// metadata node that USB cameras add beside the first: each entry streams
// from the node it names.
class LauncherWithCameraNodes : public Launcher {
protected:
    LauncherWithCameraNodes() {
        ScriptedCamera zeta;
        zeta.strCard = "Zeta camera";
        ScriptedCamera metadata = zeta;
        metadata.nCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
        ScriptedCamera alpha;
        alpha.strCard = "alpha camera";
        device.AddCamera(0, zeta);
        device.AddCamera(1, metadata);
        device.AddCamera(2, alpha);
        pCapture = &cameras;
    }

    ScriptedV4l2Device device;
    V4l2Capture cameras{device};
};

TEST_F(LauncherWithCameraNodes, EachEntryStreamsFromTheCameraItNames) {
    auto* combo = qobject_cast<QComboBox*>(Control(IDC_CAPTURE_DRIVER));
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentText(), "alpha camera");
    EXPECT_EQ(combo->itemText(1), "Zeta camera");
    Click(IDC_USE_CAMERA);
    for (const auto& [nEntry, nNode, nOther] : {std::tuple{0, 2, 0}, std::tuple{1, 0, 2}}) {
        combo->setCurrentIndex(nEntry);
        Click(IDC_SHOW_DETECT);
        ASSERT_NE(g_pDetectShow, nullptr) << nEntry;
        EXPECT_EQ(OpenShowWindows(), 1);
        EXPECT_TRUE(device.Streaming(nNode)) << nEntry;
        EXPECT_FALSE(device.Streaming(nOther)) << nEntry;
    }
}

// What a launcher started with a plan (the command line's --detect and
// --waves, or --camera) reaches is what the clicks reach.
struct LauncherState {
    std::vector<std::string> entries;
    int nWaveCount, nUseCamera, nCameraPos;
    std::string strFolder, strAviPath, strAviEdit, strListEdit;
    bool bDetecting, bAviOpenShown;
    bool operator==(const LauncherState&) const = default;
};

LauncherState StateOf(const CZARNDemoDlg& launcher, QtDialog& wnd) {
    LauncherState state{};
    IListControl* pList = wnd.GetListControl(IDC_WAVE_NAMES);
    for (int i = 0; i < pList->GetCount(); ++i) state.entries.push_back(pList->GetText(i));
    state.nWaveCount = launcher.GetWaveCount();
    state.nUseCamera = launcher.GetUseCamera();
    state.nCameraPos = launcher.GetCaptureDriver();
    state.strFolder = launcher.GetWaveFolder();
    state.strAviPath = launcher.GetAviPath();
    state.strAviEdit = wnd.GetDlgItemText(IDC_AVI_PATH);
    state.strListEdit = wnd.GetDlgItemText(IDC_WAVE_LIST_PATH);
    state.bDetecting = g_pDetectShow != nullptr && OpenShowWindows() == 1;
    state.bAviOpenShown = !wnd.Control(IDC_AVI_OPEN)->isHidden();
    return state;
}

TEST_F(LauncherWithCameraNodes, AStartedLauncherReachesTheStateItsClicksReach) {
    OpenSamples();
    Click(IDC_SHOW_DETECT);
    const LauncherState clicked = StateOf(dlg, *wnd);
    Click(IDC_USE_CAMERA);
    qobject_cast<QComboBox*>(Control(IDC_CAPTURE_DRIVER))->setCurrentIndex(1);
    Click(IDC_SHOW_DETECT);
    const LauncherState clickedCamera = StateOf(dlg, *wnd);
    ASSERT_TRUE(clicked.bDetecting && clickedCamera.bDetecting);
    dlg.DestroyWindow();

    const auto startedState = [this](LauncherStart start) {
        CZARNDemoDlg started(std::move(start));
        dialogs.SetMainWindow(&started);
        QtDialog* pWnd = dialogs.Open(LauncherTemplate(), started, true);
        EXPECT_NE(pWnd, nullptr);
        // The start runs from the event loop once the launcher shows.
        for (int i = 0; i < 50 && !g_pDetectShow; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        LauncherState state = StateOf(started, *pWnd);
        started.DestroyWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return state;
    };
    LauncherStart start;
    start.strWaveList = ZARN_SAMPLES_DIR "/waves/waves.txt";
    start.strClip = ZARN_SAMPLES_DIR "/stage.avi";
    EXPECT_TRUE(startedState(start) == clicked);

    LauncherStart camera;
    camera.strWaveList = start.strWaveList;
    camera.nCamera = 1;
    LauncherState startedCamera = startedState(camera);
    // The clicks had chosen a clip first; the camera plan never does.
    startedCamera.strAviPath = clickedCamera.strAviPath;
    startedCamera.strAviEdit = clickedCamera.strAviEdit;
    EXPECT_TRUE(startedCamera == clickedCamera);
}

}  // namespace
