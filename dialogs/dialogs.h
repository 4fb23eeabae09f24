// The property page and the About box.
#pragma once

#include <windows.h>

INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PropPageDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Opens the About box modally over the owner.
void ShowAboutBox(HWND owner);
