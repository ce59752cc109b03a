// The launcher's wave list: choosing the file and reading it into the list.

#include <cstdio>

#include "app/WaveList.h"
#include "app/ZARNDemoDlg.h"
#include "platform/ListControl.h"

namespace {

// The file's first MAX_WAVE_LIST_BYTES bytes; false when it is not a regular
// file that can be read.
bool ReadListFile(const std::string& path, std::string& bytes) {
    bool bCut = false;
    std::string error;
    if (!ReadWaveListFile(path, bytes, bCut, error)) {
        std::fprintf(stderr, "wave list \"%s\": %s\n", path.c_str(), error.c_str());
        return false;
    }
    if (bCut)
        std::fprintf(stderr, "wave list \"%s\": only its first %zu bytes are read\n", path.c_str(),
                     MAX_WAVE_LIST_BYTES);
    return true;
}

}  // namespace

void CZARNDemoDlg::OnWaveOpen() {
    const std::string path = ChooseFile("txt", "Wave List Files (*.txt)|*.txt||");
    if (!path.empty()) SetWaveListPath(path);
    UpdateData(false);
}

void CZARNDemoDlg::SetWaveListPath(const std::string& path) {
    m_strWaveListPath = path;
    m_strWaveFolder = path;
    // Trims by the set of the file name's characters: the separator in
    // front of the name is not among them, so exactly the name goes.
    const std::string strFileName = path.substr(path.rfind('/') + 1);
    const size_t keep = m_strWaveFolder.find_last_not_of(strFileName);
    m_strWaveFolder.erase(keep == std::string::npos ? 0 : keep + 1);
}

void CZARNDemoDlg::OnWaveRegister() { LoadWaveList(m_strWaveListPath); }

void CZARNDemoDlg::LoadWaveList(const std::string& path) {
    std::string bytes;
    if (path.empty() || !m_lbWaveNames || !ReadListFile(path, bytes)) return;

    const WaveListReading reading = ReadWaveList(bytes);
    for (const std::string& note : reading.notes)
        std::fprintf(stderr, "wave list \"%s\": %s\n", path.c_str(), note.c_str());
    if (!reading.bHasCount) return;
    m_nWaveCount = reading.nCount;
    if (m_nWaveCount <= 0) return;

    for (int i = 0; i < reading.nEntries; ++i) m_lbWaveNames->AddString(reading.Entry(i));
    m_lbWaveNames->SetCurSel(0);
}
