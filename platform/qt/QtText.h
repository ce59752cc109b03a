#pragma once
// How the program's byte strings show on the screen: the program's own words
// and paths are UTF-8, while names read from older wave lists are code page
// 949. Bytes that are valid UTF-8 show as UTF-8; any other string is decoded
// as code page 949 (glibc iconv), a byte that is not part of a character
// showing as U+FFFD.

#include <QString>
#include <string_view>

QString DisplayText(std::string_view bytes);
