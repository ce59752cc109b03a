#pragma once
// Code page 949, the Korean Windows code page that older wave lists are
// written in, against the UTF-8 of the program's own text and of file names
// on Linux; glibc iconv does the work.

#include <string>
#include <string_view>

// Whether bytes are valid UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(std::string_view bytes);

// bytes decoded as code page 949, in UTF-8. A byte that starts no character
// of the code page becomes U+FFFD and sets *pbExact false; otherwise
// *pbExact is true.
std::string Cp949ToUtf8(std::string_view bytes, bool* pbExact = nullptr);
