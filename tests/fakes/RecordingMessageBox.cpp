#include "tests/fakes/RecordingMessageBox.h"

void RecordingMessageBox::Show(const char* text) { texts.emplace_back(text ? text : ""); }
