#pragma once
// The files a replay writes into its output folder: ranks.csv, mix.wav and,
// with a picture, show.mkv. Each is written under a name of its own
// ("ranks.csv.part" ...) and the set takes its names only when the whole run
// has succeeded, in place of an older run's set, all together or not at all;
// a run that fails, or a replay that ends without Commit, leaves no part
// behind and the older set as it was.

#include <cstdint>
#include <cstdio>
#include <string>

class IShowRecording;

class CReplayFiles {
public:
    CReplayFiles() = default;
    ~CReplayFiles();  // removes what was not committed
    CReplayFiles(const CReplayFiles&) = delete;
    CReplayFiles& operator=(const CReplayFiles&) = delete;

    // Makes the folder when it is missing and starts ranks.csv and mix.wav;
    // false with one line in error.
    bool Open(const std::string& folder, int nSampleRate, std::string& error);
    // Where a recording writes until Commit names it show.mkv.
    std::string VideoPartPath() const { return PartPath("show.mkv"); }

    // Interleaved 16-bit stereo; false once a write has failed.
    bool WriteMix(const int16_t* pSamples, int nFrames);
    // Completes the files (the recording too, when there is one) and names
    // them, removing an older show.mkv when there is no recording; false
    // with one line in error, the parts removed, the older files in place.
    bool Commit(const std::string& ranksCsv, IShowRecording* pRecording, std::string& error);

private:
    std::string PartPath(const char* name) const;
    void RemoveParts();

    std::string m_folder;
    int m_nSampleRate = 0;
    std::FILE* m_pMix = nullptr;
    uint64_t m_qwMixBytes = 0;
    bool m_bOpen = false;
    bool m_bWriteFailed = false;
};
