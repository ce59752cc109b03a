#include "app/VenueCheck.h"

#include <cmath>
#include <cstdarg>
#include <memory>

#include "app/WaveList.h"
#include "platform/Capture.h"
#include "platform/ListOrder.h"
#include "platform/MessageBox.h"
#include "platform/UserFile.h"
#include "platform/VideoFile.h"
#include "platform/WaveOut.h"
#include "sound/SoundBank.h"
#include "sound/WaveFile.h"
#include "sound/WavePaths.h"
#include "video/AviControl.h"
#include "video/FrameRate.h"

namespace {

void Line(std::FILE* out, const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    std::vfprintf(out, pszFormat, args);
    va_end(args);
    std::fputc('\n', out);
}

// The reader's "Don't find codepack" box says nothing here: the check says
// why in its own line.
class QuietMessageBox final : public IMessageBox {
public:
    void Show(const char* /*text*/) override { bShown = true; }
    bool bShown = false;
};

std::string FourCcText(uint32_t fcc) {
    if (fcc == 0) return "codec unknown";
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((fcc >> (8 * i)) & 0xFF);
        text += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text;
}

// The codec FOURCC of the clip's last video stream, the one the reader plays.
uint32_t VideoCodec(const std::string& path) {
    std::unique_ptr<IVideoFile> file = platform::VideoFiles().Open(path.c_str());
    if (!file) return 0;
    uint32_t fcc = 0;
    for (uint32_t n = 0; n < file->Info().dwStreams; ++n)
        if (std::unique_ptr<IVideoStream> stream = file->GetStream(n))
            if (stream->Info().fccType == streamtypeVIDEO) fcc = stream->Info().fccHandler;
    return fcc;
}

// One line for the clip; false when it will not play.
bool CheckClip(const char* pszWhat, const std::string& path, std::FILE* out) {
    std::string strWhy;
    if (!OpenUserFile(path.c_str(), strWhy)) {
        Line(out, "%s %s: will not play: %s", pszWhat, path.c_str(), strWhy.c_str());
        return false;
    }
    QuietMessageBox box;
    IMessageBox& previous = platform::MessageBox();
    platform::SetMessageBox(&box);
    CAviControl avi;
    const double dFramesPerSec = avi.Open(path.c_str());
    platform::SetMessageBox(&previous);
    const uint32_t fcc = VideoCodec(path);
    if (dFramesPerSec == 0.0) {
        const char* pszWhy = box.bShown ? "no decoder for its video"
                                        : "not an AVI clip with a picture the reader can decode";
        Line(out, "%s %s: will not play: %s (%s)", pszWhat, path.c_str(), pszWhy,
             FourCcText(fcc).c_str());
        return false;
    }
    int w = 0;
    int h = 0;
    avi.GetFrameSize(w, h);
    if (!IsPlayableFrameRate(dFramesPerSec)) {
        Line(out, "%s %s: will not play: %g frames per second, outside 1 to 1000", pszWhat,
             path.c_str(), dFramesPerSec);
        return false;
    }
    const uint32_t nFrames = avi.StreamLength();
    Line(out, "%s %s: %d x %d, %g fps, %.1f s (%u frames), %s", pszWhat, path.c_str(), w, h,
         dFramesPerSec, nFrames / dFramesPerSec, nFrames, FourCcText(fcc).c_str());
    return true;
}

// The lines for the list and each sound of it that fails; false when the
// list cannot be read or a sound of it will not play.
bool CheckWaveList(const std::string& path, std::FILE* out) {
    std::string bytes;
    bool bCut = false;
    std::string error;
    if (!ReadWaveListFile(path, bytes, bCut, error)) {
        Line(out, "wave list %s: cannot be read: %s", path.c_str(), error.c_str());
        return false;
    }
    const WaveListReading reading = ReadWaveList(bytes);
    if (!reading.bHasCount) {
        Line(out, "wave list %s: no count at its start: nothing is loaded", path.c_str());
        return false;
    }
    // The names as the launcher's list box holds them, sorted; the bank
    // loads the first of them.
    std::vector<std::string> names;
    for (int i = 0; i < reading.nEntries; ++i)
        names.insert(names.begin() + static_cast<std::ptrdiff_t>(
                                         platform::SortedInsertPosition(names, reading.Entry(i))),
                     reading.Entry(i));
    const size_t slash = path.rfind('/');
    CWavePaths paths(slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
    const int nListed = std::max(0, std::min(reading.nCount, reading.nEntries));
    const int nTried = std::min(nListed, MAX_WAVE_CLIPS);
    int nLoaded = 0;
    std::vector<std::string> failures;
    for (int i = 0; i < nTried; ++i) {
        const std::string file = paths.PathOf(names[static_cast<size_t>(i)]);
        WaveHeader header;
        std::string strWhy;
        if (!OpenWaveFile(file.c_str(), header, strWhy)) {
            failures.push_back("  sound " + std::to_string(i) + " " + file + ": " + strWhy);
        } else if (!IsPlayablePcmFormat(header.wfx)) {
            failures.push_back("  sound " + std::to_string(i) + " " + file + ": " +
                               std::to_string(header.wfx.nChannels) + " channels of " +
                               std::to_string(header.wfx.wBitsPerSample) + " bits at " +
                               std::to_string(header.wfx.nSamplesPerSec) + " Hz cannot be played");
        } else {
            ++nLoaded;
        }
    }
    Line(out, "wave list %s: %d of %d names loaded%s", path.c_str(), nLoaded, nListed,
         nListed > MAX_WAVE_CLIPS ? " (the bank holds 21)" : "");
    for (const std::string& failure : failures) Line(out, "%s", failure.c_str());
    if (const std::string note = paths.Note(); !note.empty()) Line(out, "  %s", note.c_str());
    return failures.empty() && nListed > 0;
}

// The cameras in the launcher's list order; the chosen one's position must
// be among them.
bool CheckCameras(int nChosen, std::FILE* out) {
    std::vector<std::string> names;
    for (int nDriver = 0; nDriver < MAX_CAPTURE_DRIVERS; ++nDriver) {
        char szName[CAPTURE_DRIVER_TEXT_BYTES] = {};
        char szVersion[CAPTURE_DRIVER_TEXT_BYTES] = {};
        if (platform::Capture().GetDriverDescription(nDriver, szName, sizeof szName, szVersion,
                                                     sizeof szVersion))
            names.insert(names.begin() + static_cast<std::ptrdiff_t>(
                                             platform::SortedInsertPosition(names, szName)),
                         szName);
    }
    if (names.empty()) Line(out, "cameras: none");
    for (size_t i = 0; i < names.size(); ++i)
        Line(out, "camera %zu: %s%s", i, names[i].c_str(),
             static_cast<int>(i) == nChosen ? " (the show's)" : "");
    if (nChosen < 0) return true;
    if (nChosen >= static_cast<int>(names.size())) {
        Line(out, "camera %d: not there", nChosen);
        return false;
    }
    return true;
}

bool CheckScreens(const VenueChoices& choices, const VenueFacts& facts, std::FILE* out) {
    if (!facts.bDisplay) {
        Line(out, "screens: no display (DISPLAY and WAYLAND_DISPLAY are not set)");
        return false;
    }
    int nChosen = choices.strScreen.empty() ? 0 : -1;
    for (size_t i = 0; i < facts.screens.size(); ++i) {
        const VenueScreen& s = facts.screens[i];
        if (s.strName == choices.strScreen || std::to_string(i) == choices.strScreen)
            nChosen = static_cast<int>(i);
    }
    for (size_t i = 0; i < facts.screens.size(); ++i) {
        const VenueScreen& s = facts.screens[i];
        Line(out, "screen %zu %s: %d x %d at %d, %d%s", i, s.strName.c_str(), s.nWidth, s.nHeight,
             s.x, s.y, static_cast<int>(i) == nChosen ? " (the shows')" : "");
    }
    if (facts.screens.empty()) {
        Line(out, "screens: none");
        return false;
    }
    if (nChosen < 0) {
        Line(out, "screen %s: not there", choices.strScreen.c_str());
        return false;
    }
    return true;
}

}  // namespace

int RunVenueCheck(const VenueChoices& choices, const VenueFacts& facts, std::FILE* out) {
    std::vector<std::string> missing;
    const bool bDetect = !choices.strClip.empty() || choices.nCamera >= 0;

    Line(out, "sound output: %s", facts.strSound.c_str());
    if (bDetect && !facts.bSoundFound) missing.push_back("a sound output");

    if (!CheckCameras(choices.nCamera, out))
        missing.push_back("camera " + std::to_string(choices.nCamera));
    if (!choices.strClip.empty() && !CheckClip("clip", choices.strClip, out))
        missing.push_back("a clip that plays");
    if (choices.bGate && !CheckClip("gate show clip", facts.strGateClip, out))
        missing.push_back("the gate show's clip");
    if (!choices.strWaveList.empty()) {
        if (!CheckWaveList(choices.strWaveList, out)) missing.push_back("every sound of the list");
    } else if (bDetect) {
        Line(out, "wave list: none named: the show plays no sound");
    }
    if (!CheckScreens(choices, facts, out)) missing.push_back("the screen");

    const char* pszShow = bDetect         ? "the detection show"
                          : choices.bGate ? "the gate show"
                                          : "the launcher";
    if (missing.empty()) {
        Line(out, "ready: %s can run", pszShow);
        return 0;
    }
    std::string list;
    for (size_t i = 0; i < missing.size(); ++i) list += (i ? ", " : "") + missing[i];
    Line(out, "not ready: %s needs %s", pszShow, list.c_str());
    return 1;
}
