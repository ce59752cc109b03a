#include "app/ReplayFiles.h"

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/ReplayFileSet.h"
#include "platform/ErrnoText.h"
#include "platform/ShowRecording.h"
#include "platform/WavHeader.h"

namespace {

const char* const RANKS_FILE = "ranks.csv";
const char* const MIX_FILE = "mix.wav";
const char* const VIDEO_FILE = "show.mkv";

std::string LastErrorText() { return ErrnoText(errno); }

}  // namespace

CReplayFiles::~CReplayFiles() {
    if (m_pMix) std::fclose(m_pMix);
    if (m_bOpen) RemoveParts();
}

std::string CReplayFiles::PartPath(const char* name) const {
    return m_folder + "/" + name + ".part";
}

void CReplayFiles::RemoveParts() {
    for (const char* name : {RANKS_FILE, MIX_FILE, VIDEO_FILE}) std::remove(PartPath(name).c_str());
}

bool CReplayFiles::Open(const std::string& folder, int nSampleRate, std::string& error) {
    m_folder = folder;
    m_nSampleRate = nSampleRate;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot make the output folder " + folder + ": " + ec.message();
        return false;
    }
    m_bOpen = true;
    m_pMix = std::fopen(PartPath(MIX_FILE).c_str(), "wb");
    if (!m_pMix) {
        error = "cannot write into " + folder + ": " + LastErrorText();
        return false;
    }
    const auto header = PcmWavHeader(static_cast<uint32_t>(nSampleRate), 2, 16, 0);
    if (std::fwrite(header.data(), 1, header.size(), m_pMix) != header.size()) {
        error = "cannot write into " + folder + ": " + LastErrorText();
        return false;
    }
    return true;
}

bool CReplayFiles::WriteMix(const int16_t* pSamples, int nFrames) {
    if (!m_pMix || m_bWriteFailed) return false;
    const size_t n = static_cast<size_t>(nFrames) * 2;
    if (std::fwrite(pSamples, sizeof(int16_t), n, m_pMix) != n) {
        m_bWriteFailed = true;
        return false;
    }
    m_qwMixBytes += n * sizeof(int16_t);
    return true;
}

bool CReplayFiles::Commit(const std::string& ranksCsv, IShowRecording* pRecording,
                          std::string& error) {
    const auto fail = [&](const std::string& what) {
        error = what;
        RemoveParts();
        m_bOpen = false;
        return false;
    };
    if (!m_pMix) return fail("nothing was written");

    const auto header = PcmWavHeader(static_cast<uint32_t>(m_nSampleRate), 2, 16, m_qwMixBytes);
    bool bMixOk = !m_bWriteFailed && std::fseek(m_pMix, 0, SEEK_SET) == 0 &&
                  std::fwrite(header.data(), 1, header.size(), m_pMix) == header.size();
    std::string why = bMixOk ? std::string() : LastErrorText();
    if (std::fclose(m_pMix) != 0 && bMixOk) {
        bMixOk = false;
        why = LastErrorText();
    }
    m_pMix = nullptr;
    if (!bMixOk) return fail("cannot write " + PartPath(MIX_FILE) + ": " + why);

    std::FILE* pRanks = std::fopen(PartPath(RANKS_FILE).c_str(), "wb");
    if (!pRanks) return fail("cannot write " + PartPath(RANKS_FILE) + ": " + LastErrorText());
    const bool bRanksOk =
        std::fwrite(ranksCsv.data(), 1, ranksCsv.size(), pRanks) == ranksCsv.size();
    if (std::fclose(pRanks) != 0 || !bRanksOk)
        return fail("cannot write " + PartPath(RANKS_FILE) + ": " + LastErrorText());

    std::string videoError;
    if (pRecording && !pRecording->Finish(videoError))
        return fail("cannot write " + PartPath(VIDEO_FILE) + ": " + videoError);

    // A show.mkv of an earlier run goes too when this one writes none.
    const std::vector<ReplaySetFile> set = {
        {VIDEO_FILE, pRecording ? PartPath(VIDEO_FILE) : std::string()},
        {MIX_FILE, PartPath(MIX_FILE)},
        {RANKS_FILE, PartPath(RANKS_FILE)},
    };
    std::string swapError;
    if (!SwapInReplaySet(m_folder, set, swapError)) return fail(swapError);
    m_bOpen = false;
    return true;
}
