#pragma once
// Message box on QMessageBox: the text with an OK button, modal, titled with
// the application's name.

#include "platform/MessageBox.h"

class QtMessageBox final : public IMessageBox {
public:
    void Show(const char* text) override;
};
