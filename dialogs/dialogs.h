// The property page and the About box. The tool window opens them with the
// module's instance, from which their templates and texts come.
#pragma once

#include <windows.h>

#include "keyboard/instance.h"

// Creates the property page from the module's template inside the container
// and makes `target` the record it edits. There is one page target for the
// whole module: a second tool's page retargets a page that is still open.
HWND CreatePropPageDialog(HINSTANCE module, HWND container, ToolInstance* target);

// The tool of `record` is going away: a page still open edits nothing more.
void ForgetPageTarget(const ToolInstance* record);

// Opens the About box modally over the owner.
void ShowAboutBox(HINSTANCE module, HWND owner);

// A dialog's texts come from the instance its template came from.
inline HINSTANCE TemplateInstance(HWND dialog)
{
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
}
