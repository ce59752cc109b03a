#pragma once
// Dialog templates: a dialog's caption, size, font and controls, each control
// placed in dialog units (x and widths in quarters of the dialog font's
// average character width, y and heights in eighths of its height). The
// style bits keep their classic values so that templates read as they always
// have; a backend honours the ones listed here.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/AccessibleText.h"
#include "platform/WindowStyles.h"

constexpr uint32_t DS_MODALFRAME = 0x80;

// Control styles, read together with the control's kind.
constexpr uint32_t BS_DEFPUSHBUTTON = 0x1;
constexpr uint32_t BS_AUTOCHECKBOX = 0x3;
constexpr uint32_t BS_GROUPBOX = 0x7;
constexpr uint32_t ES_AUTOHSCROLL = 0x80;
constexpr uint32_t LBS_NOTIFY = 0x1;
constexpr uint32_t LBS_SORT = 0x2;
constexpr uint32_t LBS_NOINTEGRALHEIGHT = 0x100;
constexpr uint32_t CBS_DROPDOWN = 0x2;
constexpr uint32_t CBS_SORT = 0x100;
constexpr uint32_t SS_LEFT = 0x0;
constexpr uint32_t SS_ICON = 0x3;
constexpr uint32_t SS_NOPREFIX = 0x80;

// Id of a control that nothing addresses.
constexpr int IDC_STATIC = -1;

enum class DialogItemKind { PushButton, CheckBox, GroupBox, Edit, ListBox, ComboBox, Static };

// One picture of an icon, as XPM text (at most 16 colours for the classic
// sizes).
struct IconImage {
    int nSize;
    const char* const* ppXpm;
};

struct IconResource {
    std::vector<IconImage> images;
};

struct DialogItem {
    int nId;
    DialogItemKind kind;
    std::string strText;                  // UTF-8
    int x, y, cx, cy;                     // dialog units
    uint32_t dwStyle;                     // besides visible child
    const IconResource* pIcon = nullptr;  // SS_ICON statics
    AccessibleText accessible = {};
};

// A key combination (portable text such as "Ctrl+G") that sends a command.
struct Accelerator {
    std::string strKeys;
    int nCommand;
};

struct DialogTemplate {
    int nId;
    std::string strCaption;  // UTF-8
    int cx, cy;              // client size, dialog units
    uint32_t dwStyle;
    uint32_t dwExStyle;
    std::string strFace;  // UTF-8; the backend may stand another face in for it
    int nPointSize;
    std::vector<DialogItem> items;  // in tab order
    std::vector<Accelerator> accelerators;
};
