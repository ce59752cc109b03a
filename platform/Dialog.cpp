#include "platform/Dialog.h"

#include <cstdio>

namespace {

// Used until a backend is installed: no dialog can be shown.
class NoDialogs final : public IDialogs {
public:
    int DoModal(const DialogTemplate& tmpl, IDialogHandler& /*handler*/) override {
        std::fprintf(stderr, "dialog %d: no window system to show it on\n", tmpl.nId);
        return -1;
    }
    void SetMainWindow(IDialogHandler* /*pHandler*/) override {}
};

NoDialogs g_noDialogs;
IDialogs* g_pDialogs = &g_noDialogs;

}  // namespace

namespace platform {

IDialogs& Dialogs() { return *g_pDialogs; }

void SetDialogs(IDialogs* service) { g_pDialogs = service ? service : &g_noDialogs; }

}  // namespace platform
