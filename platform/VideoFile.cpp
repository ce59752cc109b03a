#include "platform/VideoFile.h"

namespace {

// Used until a backend is installed: every open fails.
class NoVideoFiles final : public IVideoFiles {
public:
    std::unique_ptr<IVideoFile> Open(const char*) override { return nullptr; }
};

NoVideoFiles g_noVideoFiles;
IVideoFiles* g_pVideoFiles = &g_noVideoFiles;

}  // namespace

namespace platform {

IVideoFiles& VideoFiles() { return *g_pVideoFiles; }

void SetVideoFiles(IVideoFiles* service) {
    g_pVideoFiles = service ? service : &g_noVideoFiles;
}

}  // namespace platform
