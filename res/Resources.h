#pragma once
// The program's resources: the launcher's and the about box's dialog
// templates, its string table and its icon.

#include <string>

#include "platform/DialogTemplate.h"

const DialogTemplate& LauncherTemplate();
const DialogTemplate& AboutTemplate();
// The application icon, 32 x 32 and 16 x 16 in 16 colours.
const IconResource& AppIcon();
// String nId of the string table; empty when there is none.
std::string LoadResString(int nId);
