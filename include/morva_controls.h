// Ids of the module's controls and commands that a host or a test may drive.
// A host may send a tool window its menu commands as WM_COMMAND and find the
// property page's and the About box's controls by these ids; the voice box
// offers the voices below. The module's resource ids (resources/resource.h)
// are these and its own. Plain defines: the resource compiler reads them too.
#pragma once

// Commands: context menu and property page
#define IDM_PROPERTIES 113
#define IDM_ABOUT 119

// The About box and its controls
#define IDD_ABOUT 125
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

// The General MIDI voices by program number; the voice box lists programs
// 0..VOICE_LIST_COUNT-1 in program order.
#define VOICE_COUNT 128
#define VOICE_LIST_COUNT 127
