#pragma once
// Window styles, with their classic values, for the windows the program
// describes: dialogs and their controls, capture windows.

#include <cstdint>

constexpr uint32_t WS_POPUP = 0x80000000;
constexpr uint32_t WS_CHILD = 0x40000000;
constexpr uint32_t WS_VISIBLE = 0x10000000;
constexpr uint32_t WS_CAPTION = 0x00C00000;
constexpr uint32_t WS_BORDER = 0x00800000;
constexpr uint32_t WS_VSCROLL = 0x00200000;
constexpr uint32_t WS_SYSMENU = 0x00080000;
constexpr uint32_t WS_GROUP = 0x00020000;
constexpr uint32_t WS_TABSTOP = 0x00010000;
constexpr uint32_t WS_EX_APPWINDOW = 0x00040000;
