// Entry point. Until the launcher dialog exists, the program opens the
// detection window straight away on the sample clip and wave list that
// `make run` makes (samples/clip.avi, samples/waves/waves.txt, relative to the
// working folder), and ends when that window is closed with a right click.

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "detect/DetectLauncher.h"
#include "detect/ShowWaveDlg.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/qt/QtMessageBox.h"
#include "platform/qt/QtShowWindows.h"
#include "platform/sdl/SdlWaveOut.h"

namespace {

const char* const SAMPLE_CLIP = "samples/clip.avi";
const char* const SAMPLE_WAVE_FOLDER = "samples/waves/";
const char* const SAMPLE_WAVE_LIST = "samples/waves/waves.txt";

// The values a launcher would hand over, for the sample files.
class SampleLauncher final : public IDetectLauncher {
public:
    SampleLauncher() {
        std::ifstream list(SAMPLE_WAVE_LIST);
        int count = 0;
        std::string name;
        if (list >> count) {
            while (static_cast<int>(m_names.size()) < count && list >> name) {
                m_names.push_back(name);
            }
        }
        if (m_names.empty()) {
            std::fprintf(stderr, "zarndemo: no sounds listed in %s\n", SAMPLE_WAVE_LIST);
        }
        // The launcher's list box keeps its names sorted without regard to case.
        std::sort(m_names.begin(), m_names.end(), [](const std::string& a, const std::string& b) {
            return std::lexicographical_compare(
                a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
                    return std::tolower(x) < std::tolower(y);
                });
        });
    }

    int GetCaptureDriver() const override { return -1; }
    int GetUseCamera() const override { return 0; }
    int GetWaveCount() const override { return static_cast<int>(m_names.size()); }
    std::string GetWaveName(int n) const override { return m_names[n]; }
    std::string GetWaveFolder() const override { return SAMPLE_WAVE_FOLDER; }
    std::string GetAviPath() const override { return SAMPLE_CLIP; }

private:
    std::vector<std::string> m_names;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    FfmpegVideoFiles videoFiles;
    QtMessageBox messageBox;
    QtShowWindows showWindows;
    SdlWaveOut waveOut;
    platform::SetVideoFiles(&videoFiles);
    platform::SetMessageBox(&messageBox);
    platform::SetShowWindows(&showWindows);
    platform::SetWaveOut(&waveOut);

    SampleLauncher launcher;
    g_pDetectShow = new CShowWaveDlg(&launcher);
    g_bDetectShowOpen = true;
    if (!g_pDetectShow->Create()) {
        std::fprintf(stderr, "zarndemo: the detection window could not start\n");
        return 1;
    }
    if (g_pDetectShow) {
        g_pDetectShow->GetWindow()->Show(true);
        g_pDetectShow->GetWindow()->Update();
    }

    // The window deletes its own object when it is destroyed.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&app] {
        if (!g_pDetectShow) app.quit();
    });
    watch.start(100);
    const int rc = app.exec();

    platform::SetWaveOut(nullptr);
    platform::SetShowWindows(nullptr);
    platform::SetMessageBox(nullptr);
    platform::SetVideoFiles(nullptr);
    return rc;
}
