// The panel protocol between the host and the tool, and the module-wide state.
#pragma once

#include <windows.h>

#include <cstddef>

#include "keyboard/instance.h"

// Private messages, host to tool.
enum : UINT {
    PNM_GETSTATE = WM_USER + 105,        // lParam: ToolInstance** out; result 1936
    PNM_SETSTATE = WM_USER + 106,        // lParam: 1936 bytes of a saved block
    PNM_CREATEPROPPAGE = WM_USER + 107,  // wParam: container; lParam: x | y << 16
    PNM_GETIDEALSIZE = WM_USER + 108,    // result: packed size
    PNM_FITSIZE = WM_USER + 109,         // lParam: SizeFitRequest*; result: packed size
    PNM_FITSIZE2 = WM_USER + 110,        // handled as PNM_FITSIZE
    PNM_FITSIZE3 = WM_USER + 111,        // handled as PNM_FITSIZE
    PNM_BEEP = WM_USER + 132,
    PNM_REFRESH = WM_USER + 151,
};

// Private messages, tool to host (sent to the tool's parent).
enum : UINT {
    PNM_SHOWPROPERTIES = WM_USER + 131,  // wParam: the tool window
    PNM_PAINTNOTIFY = WM_USER + 139,     // lParam: PaintNotice*
};

// Handed to the host while a tool paints, before the keyboard is copied.
struct PaintNotice {
    HWND hwnd;     // the tool window
    HDC hdc;       // the paint device context
    RECT rcInner;  // the client rectangle inside the etched edge
    LONG reserved[3];
};

// The type description the host reads through the pointer it is given.
struct PanelTypeInfo {
    char name[20];
    char description[80];
    HBITMAP image;      // 16 x 16, 16 colours
    HBITMAP monoImage;  // 16 x 16, monochrome
};

#ifndef _WIN64
static_assert(sizeof(PaintNotice) == 36, "host record layout");
static_assert(offsetof(PaintNotice, rcInner) == 8, "host record layout");
static_assert(offsetof(PanelTypeInfo, description) == 20, "host record layout");
static_assert(offsetof(PanelTypeInfo, image) == 100, "host record layout");
static_assert(offsetof(PanelTypeInfo, monoImage) == 104, "host record layout");
#endif

// Module-wide state, all on the host's user-interface thread.
extern HINSTANCE hModuleInstance;  // set at module attach; every resource comes from it
extern HINSTANCE hHostInstance;    // set by every EnumeratePanelTypes; owns class and windows
extern ToolInstance* pPageTarget;  // set by PNM_CREATEPROPPAGE; the record the page edits

extern const char kToolClassName[];

LRESULT CALLBACK ToolWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
