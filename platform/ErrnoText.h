#pragma once
// An errno value as text, safe to call on any thread: std::strerror may hand
// every thread the same buffer.

#include <string>

std::string ErrnoText(int nError);
