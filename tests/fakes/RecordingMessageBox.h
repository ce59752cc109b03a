#pragma once
// Message box that remembers every text instead of showing it.

#include <string>
#include <vector>

#include "platform/MessageBox.h"

class RecordingMessageBox final : public IMessageBox {
public:
    void Show(const char* text) override;
    std::vector<std::string> texts;
};
