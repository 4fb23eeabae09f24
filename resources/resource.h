// Resource ids of the module, shared by the resource script and the code.
// Ids are unique per resource type only: 125 is the About dialog and the
// first voice name.
#pragma once

// Bitmaps
#define IDB_TOOL 110       // 16 x 16, 16 colours
#define IDB_TOOL_MONO 111  // 16 x 16, monochrome

// Dialogs
#define IDD_PROPPAGE 112
#define IDD_ABOUT 125

// Commands: context menu and property page
#define IDM_PROPERTIES 113
#define IDM_ABOUT 119

// Controls of the About box
#define IDC_TOOLNAME 115
#define IDC_CREDIT1 121
#define IDC_CREDIT2 123

// Controls of the property page
#define IDC_OCTAVES 1049
#define IDC_OCTAVES_SPIN 1050
#define IDC_DEVICE 1051
#define IDC_DEVICE_LABEL 1052
#define IDC_VOICE 1053
#define IDC_VOICE_LABEL 1054
#define IDC_OCTAVES_LABEL 1055
#define IDC_VOLUME_LABEL 1056
#define IDC_VOLUME 1057
#define IDC_VOLUME_SPIN 1058

// Strings
#define IDS_PROPERTIES 114
#define IDS_TOOLNAME 116
#define IDS_TOOLDESC 118
#define IDS_ABOUTMENU 120
#define IDS_CREDIT1 122
#define IDS_CREDIT2 124
#define IDS_VOICE_FIRST 125  // 128 voice names, 125..252
#define VOICE_COUNT 128
#define VOICE_LIST_COUNT 127  // the property page offers programs 0..126
