// The venue's choices from the command line and the settings file: which
// wins, and what a mistake costs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/VenueOptions.h"

namespace {

VenueChoices Resolve(const std::vector<std::string>& args, const VenueSettings& settings,
                     std::vector<std::string>& notes) {
    const VenueArgs parsed = ParseVenueArgs(args);
    EXPECT_TRUE(parsed.errors.empty()) << parsed.errors.front();
    return MergeVenueSettings(settings, parsed, notes);
}

TEST(VenueOptions, TheCommandLineOverridesTheFileAndAShowItNamesReplacesTheFilesShow) {
    const VenueSettings file = {{"detect", "/v/stage.avi"}, {"waves", "/v/waves.txt"},
                                {"screen", "HDMI-1"},       {"kiosk", "true"},
                                {"repeat", "yes"},          {"osc_out", "10.0.0.5:9000"}};
    std::vector<std::string> notes;
    const VenueChoices fromFile = Resolve({"--venue"}, file, notes);
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(fromFile.strClip, "/v/stage.avi");
    EXPECT_EQ(fromFile.strWaveList, "/v/waves.txt");
    EXPECT_EQ(fromFile.strScreen, "HDMI-1");
    EXPECT_TRUE(fromFile.bKiosk && fromFile.bRepeat && fromFile.bVenue);
    EXPECT_EQ(fromFile.strOscOut, "10.0.0.5:9000");

    const VenueChoices both =
        Resolve({"--venue", "--camera", "1", "--screen=1", "--waves", "/other.txt"}, file, notes);
    EXPECT_TRUE(both.strClip.empty()) << "the command line's camera replaces the file's clip";
    EXPECT_EQ(both.nCamera, 1);
    EXPECT_EQ(both.strScreen, "1");
    EXPECT_EQ(both.strWaveList, "/other.txt");
    EXPECT_TRUE(both.bKiosk) << "what the command line leaves alone stays the file's";

    // Without --venue the program reads no file: an empty one resolves alone.
    const VenueChoices alone = Resolve({"--gate"}, {}, notes);
    EXPECT_TRUE(alone.bGate && alone.StartsShow() && !alone.bKiosk);
    EXPECT_FALSE(Resolve({}, {}, notes).StartsShow());
}

// Each bad key or value is one line and leaves the rest working.
TEST(VenueOptions, EachBadKeyOrValueInTheFileCostsOneLineAndNothingElse) {
    const VenueSettings file = {{"detect", "/v/stage.avi"}, {"kiosk", "maybe"},
                                {"camera", "12"},           {"screem", "1"},
                                {"camera_detect", "colour"}, {"repeat", "1"},
                                {"gate", "true"}};
    std::vector<std::string> notes;
    const VenueChoices c = Resolve({"--venue"}, file, notes);
    ASSERT_EQ(notes.size(), 5u);
    for (const char* part : {"kiosk=maybe", "camera=12", "\"screem\"", "camera_detect=colour",
                             "more than one show"}) {
        int n = 0;
        for (const std::string& note : notes) n += note.find(part) != std::string::npos;
        EXPECT_EQ(n, 1) << part;
    }
    EXPECT_EQ(c.strClip, "/v/stage.avi");
    EXPECT_FALSE(c.bGate) << "one show: the clip is kept";
    EXPECT_FALSE(c.bKiosk);
    EXPECT_EQ(c.nCamera, -1);
    EXPECT_TRUE(c.bRepeat);
    EXPECT_TRUE(c.strCameraDetect.empty());
}

TEST(VenueOptions, ACommandLineMistakeIsAnErrorForEachOne) {
    const struct {
        std::vector<std::string> args;
        const char* pszError;
    } cases[] = {
        {{"--detect"}, "--detect needs CLIP"},
        {{"--camera", "x"}, "--camera x"},
        {{"--gate=yes"}, "--gate takes no value"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"stage.avi"}, "unexpected argument \"stage.avi\""},
        {{"--detect", "a.avi", "--gate"}, "name one"},
        {{"--camera-detect", "both"}, "level or motion"},
    };
    for (const auto& c : cases) {
        const VenueArgs parsed = ParseVenueArgs(c.args);
        ASSERT_EQ(parsed.errors.size(), 1u) << c.pszError;
        EXPECT_NE(parsed.errors[0].find(c.pszError), std::string::npos) << parsed.errors[0];
    }
    EXPECT_TRUE(ParseVenueArgs({"-h"}).choices.bHelp);
    EXPECT_TRUE(ParseVenueArgs({"--detect=a.avi", "--check"}).errors.empty());
}

}  // namespace
