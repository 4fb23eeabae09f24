// Resource ids of the module, shared by the resource script and the code.
// Ids are unique per resource type only: 125 is the About dialog and the
// first voice name. The ids a host or a test may drive are in
// include/morva_controls.h.
#pragma once

#include "include/morva_controls.h"

// Bitmaps
#define IDB_TOOL 110       // 16 x 16, 16 colours
#define IDB_TOOL_MONO 111  // 16 x 16, monochrome

// Dialogs
#define IDD_PROPPAGE 112

// Strings
#define IDS_PROPERTIES 114
#define IDS_TOOLNAME 116
#define IDS_TOOLDESC 118
#define IDS_ABOUTMENU 120
#define IDS_CREDIT1 122
#define IDS_CREDIT2 124
#define IDS_VOICE_FIRST 125  // VOICE_COUNT voice names, 125..252
