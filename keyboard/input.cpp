// Mouse input on the keys.
#include "keyboard/input.h"

LRESULT OnKeyPress(ToolInstance*, int, int) { return 0; }
LRESULT OnKeySlide(ToolInstance*, WPARAM, int, int) { return 0; }
LRESULT OnKeyRelease(ToolInstance*) { return 0; }
LRESULT OnKeyCaptureLost(ToolInstance*, HWND) { return 0; }
