#pragma once
// What assistive technology, a screen reader say, tells of a control or a
// window: its name, as a sighted user reads it on or beside it, and one line
// on what it is for. Empty texts leave the toolkit's own.

#include <string>

struct AccessibleText {
    std::string strName;         // UTF-8
    std::string strDescription;  // UTF-8
};
