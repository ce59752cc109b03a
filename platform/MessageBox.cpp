#include "platform/MessageBox.h"

#include <cstdio>

namespace {

class StderrMessageBox final : public IMessageBox {
public:
    void Show(const char* text) override { std::fprintf(stderr, "%s\n", text); }
};

StderrMessageBox g_stderrMessageBox;
IMessageBox* g_pMessageBox = &g_stderrMessageBox;

}  // namespace

namespace platform {

IMessageBox& MessageBox() { return *g_pMessageBox; }

void SetMessageBox(IMessageBox* service) {
    g_pMessageBox = service ? service : &g_stderrMessageBox;
}

}  // namespace platform
