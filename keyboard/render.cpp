// Drawing of the keyboard at rest.
#include "keyboard/render.h"

void ResizeBackBuffer(ToolInstance*, int, int) {}
void LayoutKeyboard(ToolInstance*) {}
void BlitKeyboard(HDC, ToolInstance*) {}
LRESULT PaintTool(ToolInstance* record) { return DefWindowProcA(record->hwnd, WM_PAINT, 0, 0); }
void DeleteBackBuffer(ToolInstance*) {}
