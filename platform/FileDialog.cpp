#include "platform/FileDialog.h"

#include <cstdio>

#include "platform/Dialog.h"

namespace {

class NoFileDialogs final : public IFileDialogs {
public:
    int RunOpenFile(const OpenFileRequest& /*request*/, IDialog* /*pOwner*/,
                    std::vector<std::string>& paths) override {
        std::fprintf(stderr, "file dialog: no window system to show it on\n");
        paths.clear();
        return IDCANCEL;
    }
};

NoFileDialogs g_noFileDialogs;
IFileDialogs* g_pFileDialogs = &g_noFileDialogs;

}  // namespace

namespace platform {

IFileDialogs& FileDialogs() { return *g_pFileDialogs; }

void SetFileDialogs(IFileDialogs* service) {
    g_pFileDialogs = service ? service : &g_noFileDialogs;
}

}  // namespace platform
