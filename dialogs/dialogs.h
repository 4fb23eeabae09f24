// The property page and the About box.
#pragma once

#include <windows.h>

INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PropPageDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Fills the page's voice box with the General MIDI names it offers, in
// program order, so that an entry's position is its program number.
void FillVoiceList(HWND page);

// Opens the About box modally over the owner.
void ShowAboutBox(HWND owner);
