#include "res/Resources.h"

#include "platform/Dialog.h"
#include "res/resource.h"
#include "res/zarndemo16.xpm"
#include "res/zarndemo32.xpm"

namespace {

using K = DialogItemKind;

constexpr uint32_t BUTTON = WS_TABSTOP;
constexpr uint32_t EDIT = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;

}  // namespace

const IconResource& AppIcon() {
    static const IconResource icon{{{32, zarndemo_32_xpm}, {16, zarndemo_16_xpm}}};
    return icon;
}

const DialogTemplate& LauncherTemplate() {
    static const DialogTemplate tmpl{
        IDD_ZARNDEMO_DIALOG,
        "ZARNDemo",
        398,
        156,
        WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
        WS_EX_APPWINDOW,
        "굴림",
        9,
        {
            {IDC_AVI_OPEN, K::PushButton, "Avi Open", 210, 20, 45, 14, BUTTON, nullptr,
             {"Avi Open", "Choose the AVI clip that the detection window plays"}},
            {IDC_STATIC, K::GroupBox, "ZARN Screen #2", 7, 7, 384, 137, BS_GROUPBOX},
            {IDC_SHOW_DETECT, K::PushButton, "Show and Detect and wave play", 260, 40, 124, 14,
             BUTTON, nullptr,
             {"Show and Detect and wave play",
              "Open the detection window on the clip, or on the camera when 카메라 사용 is "
              "ticked, with the registered sounds"}},
            // The edit fields and lists have no caption of their own: they are
            // named for the button or box beside them.
            {IDC_AVI_PATH, K::Edit, "", 11, 20, 197, 14, EDIT, nullptr,
             {"Clip file", "Path of the AVI clip; Avi Open fills it in"}},
            {IDC_WAVE_NAMES, K::ListBox, "", 11, 69, 197, 75,
             WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT,
             nullptr,
             {"Wave names",
              "The sounds of the registered wave list, sorted: the first sounds for grid cell "
              "0, the next for cell 1, and so on"}},
            {IDC_WAVE_LIST_PATH, K::Edit, "", 11, 39, 197, 14, EDIT, nullptr,
             {"Wave list file",
              "Path of the text file that lists the WAV sounds; Wave Open fills it in"}},
            {IDC_WAVE_OPEN, K::PushButton, "Wave Open", 210, 40, 45, 14, BUTTON, nullptr,
             {"Wave Open", "Choose the wave list file"}},
            {IDC_WAVE_REGISTER, K::PushButton, "등록", 80, 54, 50, 14, BUTTON, nullptr,
             {"등록", "Register: read the chosen wave list into the list of wave names"}},
            {IDC_USE_CAMERA, K::CheckBox, "카메라 사용", 215, 76, 53, 10,
             WS_TABSTOP | BS_AUTOCHECKBOX, nullptr,
             {"카메라 사용", "Use the camera chosen in the list below instead of the clip"}},
            {IDC_CAPTURE_DRIVER, K::ComboBox, "", 215, 89, 170, 30,
             WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_SORT, nullptr,
             {"Camera",
              "The cameras found; the detection window shows the chosen one when 카메라 사용 "
              "is ticked"}},
        },
        // The gate show's command has no control; this shortcut sends it.
        {{"Ctrl+G", ID_GATE_SHOW}},
    };
    return tmpl;
}

const DialogTemplate& AboutTemplate() {
    static const DialogTemplate tmpl{
        IDD_ABOUTBOX,
        "ZARNDemo 정보",
        235,
        55,
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
        0,
        "굴림",
        9,
        {
            {IDC_STATIC, K::Static, "", 11, 17, 20, 20, SS_ICON, &AppIcon()},
            {IDC_STATIC, K::Static, "ZARNDemo 버전 1.0", 40, 10, 119, 8,
             SS_LEFT | SS_NOPREFIX | WS_GROUP},
            {IDC_STATIC, K::Static, "Qt 6 · FFmpeg · SDL2 · V4L2", 40, 25, 119, 8,
             SS_LEFT | WS_GROUP},
            {IDOK, K::PushButton, "확인", 178, 7, 50, 14, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP},
        },
        {},
    };
    return tmpl;
}

std::string LoadResString(int nId) {
    switch (nId) {
        case IDS_ABOUTBOX:
            return "ZARNDemo 정보(&A)...";
        default:
            return {};
    }
}
