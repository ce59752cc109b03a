#pragma once
// Resource and control ids of the program's templates, strings and icon.

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_ZARNDEMO_DIALOG = 102;
constexpr int IDR_MAINFRAME = 128;

// Controls and commands of the launcher.
constexpr int ID_GATE_SHOW = 1000;
constexpr int IDC_AVI_OPEN = 1002;
constexpr int IDC_AVI_PATH = 1003;
constexpr int IDC_SHOW_DETECT = 1004;
constexpr int IDC_WAVE_NAMES = 1005;
constexpr int IDC_WAVE_LIST_PATH = 1006;
constexpr int IDC_WAVE_OPEN = 1007;
constexpr int IDC_WAVE_REGISTER = 1008;
constexpr int IDC_USE_CAMERA = 1010;
constexpr int IDC_CAPTURE_DRIVER = 1011;

// The about box's entry of the launcher's system menu.
constexpr unsigned IDM_ABOUTBOX = 0x0010;
