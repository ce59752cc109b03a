#pragma once
// Open-file dialogs.
//
// Callers rely on:
// - RunOpenFile shows a modal open-file dialog above pOwner (null: no owner)
//   and returns IDOK with the full paths of the chosen files, at least one, in
//   the order the dialog gives them; or IDCANCEL with paths empty.
// - Paths are the file system's bytes.
// - The filter is pairs of description and patterns, each ended by '|', the
//   list ended by one more '|': "Avi Files (*.avi)|*.avi||". Patterns within a
//   pair are separated by ';'.
// - strDefExt (without the dot) is added to a typed name that has no
//   extension. strFileName is the name first offered; empty for none.
// - OFN_FILEMUSTEXIST: only existing files can be chosen.
//   OFN_ALLOWMULTISELECT: several can.
// Used on the user-interface thread only.

#include <cstdint>
#include <string>
#include <vector>

class IDialog;

constexpr uint32_t OFN_ALLOWMULTISELECT = 0x200;
constexpr uint32_t OFN_FILEMUSTEXIST = 0x1000;

struct OpenFileRequest {
    std::string strDefExt;
    std::string strFileName;
    uint32_t dwFlags = 0;
    std::string strFilter;
};

class IFileDialogs {
public:
    virtual ~IFileDialogs() = default;
    virtual int RunOpenFile(const OpenFileRequest& request, IDialog* pOwner,
                            std::vector<std::string>& paths) = 0;
};

namespace platform {
// The process's file dialog service; without one installed, every dialog is
// cancelled at once with a line on standard error. Not owned.
IFileDialogs& FileDialogs();
void SetFileDialogs(IFileDialogs* service);
}  // namespace platform
