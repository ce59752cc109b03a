// The run report through the show tap: the start line naming silent cells, a
// tick stalled on purpose counted late, sounds per cell, trigger latency,
// sounds that no output heard, and the JSON of every show of the run.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "detect/ShowWaveDlg.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "detect/RunReport.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/fakes/FakeCapture.h"
#include "tests/fakes/FakeShowWindows.h"
#include "tests/fakes/RecordingOsc.h"
#include "tests/fakes/SimulatedWaveOut.h"
#include "tests/sound/WavTestFiles.h"

namespace {

std::string ReadAll(std::FILE* f) {
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
    return text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class RunReport : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetShowWindows(&tap);
        platform::SetVideoFiles(&ffmpeg);
        platform::SetWaveOut(&waveOut);
    }
    void TearDown() override {
        if (g_pDetectShow) g_pDetectShow->CloseShow();
        platform::SetShowWindows(nullptr);
        platform::SetVideoFiles(nullptr);
        platform::SetWaveOut(nullptr);
        std::fclose(pOut);
    }

    FakeShowWindow* Open(const TestLauncher& launcher) {
        g_bDetectShowOpen = true;
        g_pDetectShow = new CShowWaveDlg(&launcher);
        return g_pDetectShow->Create() ? windows.Last() : nullptr;
    }

    wavtest::TempDir dir;
    int64_t nowUs = 0;
    std::FILE* pOut = std::tmpfile();
    CRunReport report{{[this] { return nowUs; }, pOut, dir.path() + "/report.json"}};
    FakeShowWindows windows;
    CShowWaveTap tap{windows, report};
    FfmpegVideoFiles ffmpeg;
    SimulatedWaveOut waveOut;
};

TEST_F(RunReport, NamesSilentCellsCountsAStalledTickLateAndTimesTriggers) {
    // 60 frames at 25 per second (61 ticks draw: the segment runs to the
    // clip's length); every ranking picks cells 15, 19 and 2, of
    // which only 2 has a sound among the 10 listed.
    ClipOptions options;
    options.width = 224;
    options.height = 120;
    options.frames = 60;
    TestLauncher launcher;
    launcher.strAviPath = WriteCellClip("report_cells.avi", options, PermutedLevel);
    WriteTestWaves(launcher, dir.path() + "/", 10);
    FakeShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(ReadAll(pOut),
              "detection show: cells 10-20 have no sound (10 of 21 sounds loaded)\n");

    // Ticks on time but for the tenth, 100 ms late; the timer's schedule
    // starts again from it.
    int64_t dueUs = 40000;
    int nPlayTicks = 0;
    for (int k = 1; w->HasTimer(TIMER_FRAME); ++k) {
        nowUs = dueUs + (k == 10 ? 100000 : 0);
        dueUs = nowUs + 40000;
        const bool bPlayDue = w->HasTimer(TIMER_PLAY);
        w->SendTimer(TIMER_FRAME);
        if (bPlayDue) {
            w->SendTimer(TIMER_PLAY);
            nowUs += 7000;  // the mixer takes the first sound 7 ms later
            CRunReport::NoteFirstTake(&report, true);
            // The second ranking's next sound goes to no output: mixed,
            // never heard.
            nowUs += 2000;
            if (++nPlayTicks == 2) CRunReport::NoteFirstTake(&report, false);
        }
    }
    w->SendRButtonDown(5, 5);
    EXPECT_EQ(g_pDetectShow, nullptr);

    const std::string text = ReadAll(pOut);
    EXPECT_NE(text.find("frames shown: 61 at 40 ms, late by more than a period: 1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("median 0.0 ms, p99 100.0 ms, max 100.0 ms\n"), std::string::npos) << text;
    EXPECT_NE(text.find("median 7.0 ms, p99 7.0 ms, 2 sounds\n"), std::string::npos) << text;
    EXPECT_NE(text.find("played while the audio output was gone: 1 sound\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find(" 1:0 2:2 3:0 "), std::string::npos) << text;
    EXPECT_NE(text.find("silent cells: 10-20 (10 sounds loaded)\n"), std::string::npos) << text;

    const std::string json = ReadFile(dir.path() + "/report.json");
    EXPECT_NE(json.find("\"frames_late\": 1"), std::string::npos) << json;
    EXPECT_NE(json.find("\"count\": 2}, \"sounds_unheard\": 1"), std::string::npos) << json;
    EXPECT_EQ(text.find("OSC"), std::string::npos) << text;
    EXPECT_NE(json.find("\"osc_dropped\": null"), std::string::npos) << json;
    EXPECT_NE(json.find("\"camera_frames_dropped\": null"), std::string::npos) << json;
    EXPECT_NE(json.find("\"sounds_per_cell\": [0, 0, 2, 0, 0"), std::string::npos) << json;
    EXPECT_NE(json.find("\"silent_cells\": [10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20]"),
              std::string::npos)
        << json;

    // A second show of the run, every cell with a sound, that starts its
    // clip again twice: no start line, and the file holds both shows.
    WriteTestWaves(launcher, dir.path() + "/", 21);
    launcher.bRepeat = 1;
    const size_t before = ReadAll(pOut).size();
    ASSERT_NE(w = Open(launcher), nullptr);
    EXPECT_EQ(ReadAll(pOut).size(), before);
    for (int k = 0; k < 130; ++k) w->SendTimer(TIMER_FRAME);
    w->SendRButtonDown(5, 5);
    const std::string both = ReadFile(dir.path() + "/report.json");
    EXPECT_NE(both.find("\"silent_cells\": []"), std::string::npos) << both;
    EXPECT_NE(both.find("\"frames_late\": 1, \"repeats\": 0"), std::string::npos) << both;
    EXPECT_NE(both.find("\"repeats\": 2"), std::string::npos) << both;
    EXPECT_NE(ReadAll(pOut).find("clip started again: 2 times\n"), std::string::npos);
}

// Messages that a full OSC queue pushed out during the show are counted,
// and only those of this show.
TEST_F(RunReport, CountsOscMessagesDroppedDuringTheShow) {
    RecordingOsc osc;
    osc.nSendDropped = 4;  // before the show
    platform::SetOsc(&osc);
    ClipOptions options;
    options.frames = 5;
    TestLauncher launcher;
    launcher.strAviPath = WriteCellClip("report_osc.avi", options, PermutedLevel);
    FakeShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);
    osc.nSendDropped += 7;
    osc.nReceiveDropped = 2;
    w->SendRButtonDown(5, 5);
    platform::SetOsc(nullptr);

    EXPECT_NE(ReadAll(pOut).find("  OSC messages dropped: 7 outgoing, 2 incoming\n"),
              std::string::npos);
    EXPECT_NE(ReadFile(dir.path() + "/report.json")
                  .find("\"osc_dropped\": {\"outgoing\": 7, \"incoming\": 2}"),
              std::string::npos);
}

// A camera show that ranks: the frames a newer one replaced before a tick
// took them are counted.
TEST_F(RunReport, CountsTheCameraFramesThatNoTickTook) {
    FakeCapture capture;
    capture.drivers[0] = FakeCaptureDriver{"Camera", "1.0", true, true, 64, 48, 40000};
    platform::SetCapture(&capture);
    TestLauncher launcher;
    launcher.bUseCamera = 1;
    launcher.nCaptureDriver = 0;
    launcher.nCameraDetect = CAMERA_DETECT_LEVEL;
    FakeShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);
    for (int nFrames : {3, 1, 2}) {
        for (int k = 0; k < nFrames; ++k) capture.EmitFrame(capture.LastWindow());
        w->SendTimer(TIMER_FRAME);
    }
    w->SendRButtonDown(5, 5);
    platform::SetCapture(nullptr);

    EXPECT_NE(ReadAll(pOut).find("  camera frames dropped (replaced before a tick took them): 3\n"),
              std::string::npos)
        << ReadAll(pOut);
    EXPECT_NE(ReadFile(dir.path() + "/report.json").find("\"camera_frames_dropped\": 3}"),
              std::string::npos);
}

}  // namespace
