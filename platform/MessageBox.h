#pragma once
// Message box: shows one line of text with an OK button and returns when the
// user has dismissed it. Used on the user-interface thread only.

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual void Show(const char* text) = 0;
};

namespace platform {
// The process's message box service; without one installed, the text goes to
// standard error. Not owned.
IMessageBox& MessageBox();
void SetMessageBox(IMessageBox* service);
}  // namespace platform
