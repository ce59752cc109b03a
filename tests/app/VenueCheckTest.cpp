// zarndemo --check's lines and status on a machine as a venue has it: no
// camera, a missing clip, a list with one bad sound.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/VenueCheck.h"
#include "platform/Capture.h"
#include "platform/VideoFile.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/fakes/FakeCapture.h"
#include "tests/sound/WavTestFiles.h"

namespace {

class VenueCheck : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetVideoFiles(&video);
        platform::SetCapture(&capture);
        facts.bSoundFound = true;
        facts.strSound = "dummy, System audio output device";
        facts.bDisplay = true;
        facts.screens = {{"DESK", 0, 0, 1280, 1024}, {"HDMI-1", 1280, 0, 1920, 1080}};
        for (int n = 0; n < 3; ++n)
            dir.WriteWav("tone" + std::to_string(n) + ".wav", wavtest::Pcm(1, 44100, 16),
                         wavtest::Pattern(2000, n));
        const std::string text = "3 tone0 tone1 tone2";
        list = dir.Write("waves.txt", {text.begin(), text.end()});
    }
    void TearDown() override {
        platform::SetCapture(nullptr);
        platform::SetVideoFiles(nullptr);
    }

    // The lines printed and the status.
    std::string Check(const VenueChoices& choices, int& nStatus) {
        char* pBuffer = nullptr;
        size_t nSize = 0;
        std::FILE* out = open_memstream(&pBuffer, &nSize);
        nStatus = RunVenueCheck(choices, facts, out);
        std::fclose(out);
        std::string text(pBuffer, nSize);
        std::free(pBuffer);
        return text;
    }

    FfmpegVideoFiles video;
    FakeCapture capture;
    VenueFacts facts;
    wavtest::TempDir dir;
    std::string list;
};

TEST_F(VenueCheck, AReadyShowSaysSoWithEveryPartOnItsLine) {
    VenueChoices choices;
    choices.strClip = ZARN_SAMPLES_DIR "/stage.avi";
    choices.strWaveList = list;
    choices.strScreen = "HDMI-1";
    int nStatus = -1;
    const std::string text = Check(choices, nStatus);
    EXPECT_EQ(nStatus, 0) << text;
    for (const char* line :
         {"sound output: dummy, System audio output device\n", "cameras: none\n",
          "stage.avi: 640 x 480, 25 fps, 64.0 s (1600 frames), MJPG\n", ": 3 of 3 names loaded\n",
          "screen 1 HDMI-1: 1920 x 1080 at 1280, 0 (the shows')\n",
          "ready: the detection show can run\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

// Each missing part is a line of its own and makes the status 1.
TEST_F(VenueCheck, NoCameraAMissingClipAndABadSoundAreEachNamed) {
    dir.Write("tone1.wav", {'R', 'I', 'F', 'F'});
    const std::string clip = dir.path() + "/gone.avi";
    const struct {
        VenueChoices choices;
        std::vector<const char*> lines;
    } cases[] = {
        {[] {
             VenueChoices c;
             c.nCamera = 0;
             return c;
         }(),
         {"cameras: none\n", "camera 0: not there\n", "needs camera 0\n"}},
        {[&] {
             VenueChoices c;
             c.strClip = clip;
             return c;
         }(),
         {"will not play: No such file or directory\n", "needs a clip that plays\n"}},
        {[&] {
             VenueChoices c;
             c.strClip = ZARN_SAMPLES_DIR "/stage.avi";
             c.strWaveList = list;
             c.strScreen = "HDMI-2";
             return c;
         }(),
         {": 2 of 3 names loaded\n", "tone1.wav: shorter than a WAV header (44 bytes)\n",
          "screen HDMI-2: not there\n", "needs every sound of the list, the screen\n"}},
    };
    for (const auto& c : cases) {
        int nStatus = -1;
        const std::string text = Check(c.choices, nStatus);
        EXPECT_EQ(nStatus, 1) << text;
        for (const char* line : c.lines)
            EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
}

}  // namespace
