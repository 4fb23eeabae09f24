// The property page.
#include "dialogs/dialogs.h"

INT_PTR CALLBACK PropPageDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
