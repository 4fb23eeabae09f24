// The tool's record as the module lays it out, for the tests that look past
// the settings block a host sees into the run-time fields (window, back
// buffer, MIDI device, note). Only these tests, and the MIDI layer's own,
// read the module's headers; the harness knows the protocol alone.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "include/morva.h"
#include "keyboard/instance.h"

// The record behind the block that PNM_GETSTATE lends: the block leads it.
inline ToolInstance* Record(HWND tool)
{
    ToolInstance* record = nullptr;
    LRESULT size = SendMessageA(tool, PNM_GETSTATE, 0, reinterpret_cast<LPARAM>(&record));
    EXPECT_EQ(size, TOOL_STATE_SIZE);
    return record;
}
