// The About box: the tool's name and two credit lines.
#include "dialogs/dialogs.h"

#include "resources/resource.h"

namespace {

// Every text of the box is read into a buffer of this many characters.
constexpr int kAboutTextSize = 100;

void SetItemFromString(HWND dialog, int controlId, UINT stringId)
{
    char text[kAboutTextSize] = "";
    LoadStringA(TemplateInstance(dialog), stringId, text, kAboutTextSize);
    SetDlgItemTextA(dialog, controlId, text);
}

// The caption is the menu's About text, dots and all, rather than the
// template's own caption.
INT_PTR InitAboutBox(HWND dialog)
{
    char caption[kAboutTextSize] = "";
    LoadStringA(TemplateInstance(dialog), IDS_ABOUTMENU, caption, kAboutTextSize);
    SendMessageA(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(caption));
    SetItemFromString(dialog, IDC_CREDIT1, IDS_CREDIT1);
    SetItemFromString(dialog, IDC_CREDIT2, IDS_CREDIT2);
    return TRUE;
}

// OK, Enter and Esc (the cancel command, though there is no Cancel button)
// all close the box the same way.
INT_PTR CloseAboutBox(HWND dialog)
{
    EndDialog(dialog, 1);
    return TRUE;
}

INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT msg, WPARAM, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return InitAboutBox(hwnd);
    case WM_COMMAND:
        return CloseAboutBox(hwnd);
    default:
        return FALSE;
    }
}

}  // namespace

void ShowAboutBox(HINSTANCE module, HWND owner)
{
    DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDlgProc, 0);
}
