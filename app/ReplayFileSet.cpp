#include "app/ReplayFileSet.h"

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/ErrnoText.h"

namespace fs = std::filesystem;

namespace {

// Where the older set waits until the new one is in: made beside it, so
// that every move is a rename within one file system, under a name of its
// own, so that it takes no one else's.
const char* const ASIDE_TEMPLATE = "/.zarndemo-replay-older-XXXXXX";

// A file of an older set: anything at the name but a folder.
bool IsOlderFile(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
}

class CReplaySwap {
public:
    CReplaySwap(const std::string& folder, std::string& error) : m_folder(folder), m_error(error) {}

    bool MoveAside(const char* szName) {
        const fs::path final = m_folder / szName;
        if (!IsOlderFile(final)) return true;
        if (m_aside.empty() && !MakeAside()) return false;
        std::error_code ec;
        fs::rename(final, m_aside / szName, ec);
        if (ec) return Fail("cannot move the older " + final.string() + " aside: " + ec.message());
        m_moved.push_back(szName);
        return true;
    }

    bool PutIn(const char* szName, const std::string& strPart) {
        const fs::path final = m_folder / szName;
        std::error_code ec;
        fs::rename(strPart, final, ec);
        if (ec) return Fail("cannot name " + final.string() + ": " + ec.message());
        m_placed.push_back(szName);
        return true;
    }

    // The new set is in: the older one goes.
    void Finish() {
        std::error_code ec;
        if (!m_aside.empty()) fs::remove_all(m_aside, ec);
    }

private:
    bool MakeAside() {
        std::string pattern = m_folder.string() + ASIDE_TEMPLATE;
        if (!mkdtemp(pattern.data()))
            return Fail("cannot make room in " + m_folder.string() + ": " + ErrnoText(errno));
        m_aside = pattern;
        return true;
    }

    // Puts the folder back as it was and says why, and what could not be
    // put back.
    bool Fail(const std::string& why) {
        m_error = why;
        std::error_code ec;
        for (const char* szName : m_placed) fs::remove(m_folder / szName, ec);
        bool bRestored = true;
        for (const char* szName : m_moved) {
            fs::rename(m_aside / szName, m_folder / szName, ec);
            if (ec) bRestored = false;
        }
        if (!bRestored) {
            m_error += "; the older files are kept in " + m_aside.string();
        } else if (!m_aside.empty()) {
            fs::remove(m_aside, ec);
        }
        return false;
    }

    const fs::path m_folder;
    std::string& m_error;
    fs::path m_aside;
    std::vector<const char*> m_moved;
    std::vector<const char*> m_placed;
};

}  // namespace

bool SwapInReplaySet(const std::string& folder, const std::vector<ReplaySetFile>& files,
                     std::string& error) {
    CReplaySwap swap(folder, error);
    for (const ReplaySetFile& file : files)
        if (!swap.MoveAside(file.szName)) return false;
    for (const ReplaySetFile& file : files)
        if (!file.strPart.empty() && !swap.PutIn(file.szName, file.strPart)) return false;
    swap.Finish();
    return true;
}
