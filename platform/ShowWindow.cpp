#include "platform/ShowWindow.h"

namespace {

// Used until a backend is installed: no window can be made.
class NoShowWindows final : public IShowWindows {
public:
    IShowWindow* Create(IShowWindowHandler& handler) override {
        handler.PostNcDestroy();
        return nullptr;
    }
};

NoShowWindows g_noShowWindows;
IShowWindows* g_pShowWindows = &g_noShowWindows;

}  // namespace

namespace platform {

IShowWindows& ShowWindows() { return *g_pShowWindows; }

void SetShowWindows(IShowWindows* service) {
    g_pShowWindows = service ? service : &g_noShowWindows;
}

}  // namespace platform
