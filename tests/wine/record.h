// The tool's record as the module lays it out, for the few checks of its
// run-time fields that nothing a host sees would show (the back buffer, the
// device's handle and number, the window). Only these tests, and the MIDI
// layer's own, read the module's headers; the harness knows the protocol alone.
#pragma once

#include "keyboard/instance.h"
#include "tests/wine/harness.h"

// The record behind the block that PNM_GETSTATE lends: the block leads it.
inline ToolInstance* Record(HWND tool)
{
    return reinterpret_cast<ToolInstance*>(LentBlock(tool));
}
