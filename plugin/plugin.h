// The module-wide state and the tool window class, for the module's own files.
#pragma once

#include <windows.h>

// Module-wide state, all on the host's user-interface thread.
extern HINSTANCE hModuleInstance;  // set at module attach; every resource comes from it
extern HINSTANCE hHostInstance;    // set by every EnumeratePanelTypes; owns class and windows

extern const char kToolClassName[];

LRESULT CALLBACK ToolWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
