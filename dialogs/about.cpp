// The About box.
#include "dialogs/dialogs.h"

INT_PTR CALLBACK AboutDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
void ShowAboutBox(HWND) {}
