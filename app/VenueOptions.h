#pragma once
// What a venue asks of the program at start, from its command line and, with
// --venue, from its settings file (the same choices under the keys below).
// The command line overrides the file; without either the program starts as
// it always has, with the launcher waiting for clicks.
//
//   option              key            value
//   --detect CLIP       detect         the clip the detection window plays
//   --waves LIST        waves          the wave list registered first
//   --camera N          camera         camera N of the launcher's list, instead of a clip
//   --gate              gate           the gate show
//   --screen N|NAME     screen         the screen the shows appear on
//   --kiosk             kiosk          a black backdrop, no pointer, the launcher behind
//   --repeat            repeat         the detection show starts again when it runs out
//   --camera-detect M   camera_detect  camera mode ranks the live picture: level or motion
//   --camera-clip CLIP  camera_clip    a clip that stands in for a camera
//   --osc-out H:P       osc_out        where OSC messages go
//   --osc-in [A:]P      osc_in         where OSC messages come in
//   --venue, --check, --help, --version   (command line only)

#include <map>
#include <optional>
#include <string>
#include <vector>

struct VenueChoices {
    std::string strClip;      // --detect
    std::string strWaveList;  // --waves
    int nCamera = -1;         // --camera; -1 for none
    bool bGate = false;
    std::string strScreen;  // a number or an output's name; empty for the first screen
    bool bKiosk = false;
    bool bRepeat = false;
    std::string strCameraDetect;  // "level", "motion" or empty for off
    std::string strCameraClip;
    std::string strOscOut;  // as written; checked where OSC is set up
    std::string strOscIn;

    bool bVenue = false;  // read the settings file
    bool bCheck = false;  // print the venue's readiness and end
    bool bHelp = false;
    bool bVersion = false;

    // A show opens at start.
    bool StartsShow() const { return !strClip.empty() || nCamera >= 0 || bGate; }
};

struct VenueArgs {
    VenueChoices choices;
    // One line each for what the command line got wrong; the program then
    // says them and ends with status 2.
    std::vector<std::string> errors;
};

// The program's arguments after its name; the choices they make on their own.
VenueArgs ParseVenueArgs(const std::vector<std::string>& args);

// The settings file as keys and values.
using VenueSettings = std::map<std::string, std::string>;

// The choices of the settings file overridden by those of the command line.
// A key the program does not know, or a value it cannot use, adds one line
// to notes and is left out.
VenueChoices MergeVenueSettings(const VenueSettings& settings, const VenueArgs& args,
                                std::vector<std::string>& notes);

// Where the settings file lives: $XDG_CONFIG_HOME/zarndemo/venue.conf, or
// ~/.config/zarndemo/venue.conf.
std::string VenueSettingsPath();

// The text of --help.
std::string VenueHelpText();
