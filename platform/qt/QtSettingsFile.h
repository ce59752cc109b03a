#pragma once
// An INI settings file read with QSettings: every key of its top level (or
// "group/key" below it) with its value as text.

#include <map>
#include <string>

// False with the reason when the file is missing, is no regular file, is
// larger than a settings file can sensibly be, or does not parse.
bool ReadSettingsFile(const std::string& path, std::map<std::string, std::string>& values,
                      std::string& error);
