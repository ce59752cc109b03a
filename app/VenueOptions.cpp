#include "app/VenueOptions.h"

#include <cstdlib>

namespace {

enum class Kind { TEXT, CAMERA, FLAG, DETECT_MODE, COMMAND };

struct Option {
    const char* pszName;  // on the command line, after "--"
    const char* pszKey;   // in the settings file; null for command-line only
    Kind kind;
    const char* pszValue;  // the value's name in --help; null for a flag
    const char* pszHelp;
};

constexpr Option OPTIONS[] = {
    {"detect", "detect", Kind::TEXT, "CLIP", "open the detection window on this AVI clip"},
    {"waves", "waves", Kind::TEXT, "LIST", "register this wave list first"},
    {"camera", "camera", Kind::CAMERA, "N",
     "open the detection window on camera N of the launcher's list (from 0)"},
    {"gate", "gate", Kind::FLAG, nullptr, "open the gate show"},
    {"screen", "screen", Kind::TEXT, "N|NAME",
     "put the shows on screen N (from 0) or on the output of that name"},
    {"kiosk", "kiosk", Kind::FLAG, nullptr,
     "a black backdrop over the rest of that screen, no pointer, the launcher behind"},
    {"repeat", "repeat", Kind::FLAG, nullptr,
     "start the detection show again from its first frame when it runs out"},
    {"camera-detect", "camera_detect", Kind::DETECT_MODE, "level|motion",
     "in camera mode, rank the live picture by red level or by motion"},
    {"camera-clip", "camera_clip", Kind::TEXT, "CLIP", "list a clip that stands in for a camera"},
    {"osc-out", "osc_out", Kind::TEXT, "HOST:PORT", "send OSC messages there"},
    {"osc-in", "osc_in", Kind::TEXT, "[ADDRESS:]PORT", "take OSC messages there"},
    {"venue", nullptr, Kind::COMMAND, nullptr, "read the choices from the venue's settings file"},
    {"check", nullptr, Kind::COMMAND, nullptr,
     "open nothing: print the venue's readiness; status 0 when the show can run"},
    {"help", nullptr, Kind::COMMAND, nullptr, "print this help"},
    {"version", nullptr, Kind::COMMAND, nullptr, "print the version"},
};

// The choices one source makes.
struct Source {
    VenueChoices choices;
};

bool ParseCamera(const std::string& text, int& nCamera) {
    if (text.empty() || text.size() > 1 || text[0] < '0' || text[0] > '9') return false;
    nCamera = text[0] - '0';
    return true;
}

bool ParseFlag(const std::string& text, bool& bValue) {
    for (const char* yes : {"1", "true", "yes", "on"}) {
        if (text == yes) {
            bValue = true;
            return true;
        }
    }
    for (const char* no : {"0", "false", "no", "off"}) {
        if (text == no) {
            bValue = false;
            return true;
        }
    }
    return false;
}

// Why a value does not do for the option; empty when it does.
std::string Apply(const Option& option, const std::string& value, bool bFromFile, Source& source) {
    VenueChoices& c = source.choices;
    const std::string name = option.pszName;
    switch (option.kind) {
        case Kind::TEXT:
            if (value.empty()) return "it needs a value";
            if (name == "detect") c.strClip = value;
            if (name == "waves") c.strWaveList = value;
            if (name == "screen") c.strScreen = value;
            if (name == "camera-clip") c.strCameraClip = value;
            if (name == "osc-out") c.strOscOut = value;
            if (name == "osc-in") c.strOscIn = value;
            break;
        case Kind::CAMERA:
            if (!ParseCamera(value, c.nCamera)) return "it takes a list position from 0 to 9";
            break;
        case Kind::DETECT_MODE:
            if (value != "level" && value != "motion") return "it takes level or motion";
            c.strCameraDetect = value;
            break;
        case Kind::FLAG: {
            bool bOn = true;
            if (bFromFile && !ParseFlag(value, bOn)) return "it takes true or false";
            if (name == "gate") c.bGate = bOn;
            if (name == "kiosk") c.bKiosk = bOn;
            if (name == "repeat") c.bRepeat = bOn;
            break;
        }
        case Kind::COMMAND:
            if (name == "venue") c.bVenue = true;
            if (name == "check") c.bCheck = true;
            if (name == "help") c.bHelp = true;
            if (name == "version") c.bVersion = true;
            break;
    }
    return {};
}

// One show at a time: the first named, in the order detect, camera, gate.
std::string KeepOneShow(VenueChoices& c) {
    const int nShows = !c.strClip.empty() + (c.nCamera >= 0) + c.bGate;
    if (nShows <= 1) return {};
    std::string kept;
    if (!c.strClip.empty()) {
        kept = "detect";
        c.nCamera = -1;
        c.bGate = false;
    } else {
        kept = "camera";
        c.bGate = false;
    }
    return "more than one show is named; " + kept + " is kept";
}

const Option* FindOption(const std::string& name, bool bKey) {
    for (const Option& option : OPTIONS) {
        const char* pszName = bKey ? option.pszKey : option.pszName;
        if (pszName && name == pszName) return &option;
    }
    return nullptr;
}

}  // namespace

VenueArgs ParseVenueArgs(const std::vector<std::string>& args) {
    VenueArgs out;
    Source source;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string arg = args[i] == "-h" ? std::string("--help") : args[i];
        if (arg.rfind("--", 0) != 0) {
            out.errors.push_back("unexpected argument \"" + arg + "\"");
            continue;
        }
        const size_t eq = arg.find('=');
        const std::string name =
            arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const Option* option = FindOption(name, false);
        if (!option) {
            out.errors.push_back("unknown option --" + name);
            continue;
        }
        std::string value;
        if (option->pszValue) {
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                out.errors.push_back("--" + name + " needs " + option->pszValue);
                continue;
            }
        } else if (eq != std::string::npos) {
            out.errors.push_back("--" + name + " takes no value");
            continue;
        }
        if (const std::string why = Apply(*option, value, false, source); !why.empty())
            out.errors.push_back("--" + name + " " + value + ": " + why);
    }
    const int nShows =
        !source.choices.strClip.empty() + (source.choices.nCamera >= 0) + source.choices.bGate;
    if (nShows > 1)
        out.errors.push_back("--detect, --camera and --gate each open a show: name one");
    out.choices = source.choices;
    return out;
}

VenueChoices MergeVenueSettings(const VenueSettings& settings, const VenueArgs& args,
                                std::vector<std::string>& notes) {
    Source file;
    for (const auto& [key, value] : settings) {
        const Option* option = FindOption(key, true);
        if (!option) {
            notes.push_back("venue settings: unknown key \"" + key + "\" is ignored");
            continue;
        }
        if (const std::string why = Apply(*option, value, true, file); !why.empty())
            notes.push_back("venue settings: " + key + "=" + value + " is ignored: " + why);
    }
    if (const std::string why = KeepOneShow(file.choices); !why.empty())
        notes.push_back("venue settings: " + why);

    // What the command line names wins: a show it names replaces the file's.
    VenueChoices merged = file.choices;
    const VenueChoices& cmd = args.choices;
    const bool bCommandShow = cmd.StartsShow();
    if (bCommandShow) {
        merged.strClip = cmd.strClip;
        merged.nCamera = cmd.nCamera;
        merged.bGate = cmd.bGate;
    }
    if (!cmd.strWaveList.empty()) merged.strWaveList = cmd.strWaveList;
    if (!cmd.strScreen.empty()) merged.strScreen = cmd.strScreen;
    merged.bKiosk = merged.bKiosk || cmd.bKiosk;
    merged.bRepeat = merged.bRepeat || cmd.bRepeat;
    if (!cmd.strCameraDetect.empty()) merged.strCameraDetect = cmd.strCameraDetect;
    if (!cmd.strCameraClip.empty()) merged.strCameraClip = cmd.strCameraClip;
    if (!cmd.strOscOut.empty()) merged.strOscOut = cmd.strOscOut;
    if (!cmd.strOscIn.empty()) merged.strOscIn = cmd.strOscIn;
    merged.bVenue = cmd.bVenue;
    merged.bCheck = cmd.bCheck;
    merged.bHelp = cmd.bHelp;
    merged.bVersion = cmd.bVersion;
    return merged;
}

std::string VenueSettingsPath() {
    const char* pszConfig = std::getenv("XDG_CONFIG_HOME");
    if (pszConfig && *pszConfig == '/') return std::string(pszConfig) + "/zarndemo/venue.conf";
    const char* pszHome = std::getenv("HOME");
    return std::string(pszHome ? pszHome : "") + "/.config/zarndemo/venue.conf";
}

std::string VenueHelpText() {
    std::string text =
        "Usage: zarndemo [OPTION]...\n"
        "A desktop demo for interactive installations. Without options the launcher\n"
        "opens and waits for clicks.\n\n";
    for (const Option& option : OPTIONS) {
        std::string left = std::string("  --") + option.pszName;
        if (option.pszValue) left += std::string(" ") + option.pszValue;
        if (left.size() < 24)
            left.resize(24, ' ');
        else
            left += "\n" + std::string(24, ' ');
        text += left + option.pszHelp + "\n";
    }
    text += "\nWith --venue the choices come from " +
            std::string(
                "$XDG_CONFIG_HOME/zarndemo/venue.conf (~/.config/zarndemo/venue.conf),\n"
                "keys as the options with '_' for '-' (detect=, waves=, camera=, gate=true,\n"
                "screen=, kiosk=, repeat=, camera_detect=, camera_clip=, osc_out=, osc_in=);\n"
                "options on the command line override them.\n") +
            "See zarndemo(1).\n";
    return text;
}
