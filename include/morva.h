// What crosses the boundary between a host and the Morva module: the settings
// block the host keeps, the records and messages of the panel protocol, and
// the signatures of the exports. Nothing of the module's insides.
#pragma once

#include <cstddef>
#include <cstdint>

// One key of the laid-out keyboard, in client pixels. As a hit area all four
// edges belong to the key.
struct KeyRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    int32_t black;  // 1 for a black key, 0 for a white key
};

enum {
    KEY_TABLE_SIZE = 95,     // room for 95 keys; seven octaves use 85
    TOOL_STATE_SIZE = 1936,  // bytes the host stores per tool
};

// The first 1936 bytes of every tool record. The host stores these bytes as
// they are and hands them back, so the layout is fixed to the byte.
struct ToolStateBlock {
    int32_t reserved0;
    int32_t octaves;     // octaves drawn; the property page offers 1..7
    int32_t lastKey;     // index of the last valid key table entry
    int32_t currentKey;  // key last found under the mouse, -1 for none
    int32_t voice;       // General MIDI program, 0..126
    int32_t reserved20;
    int32_t reserved24;
    int32_t deviceNumber;  // MIDI output device, -1 when none is chosen
    int16_t volume;        // output volume in percent
    int16_t reserved34;
    KeyRect keys[KEY_TABLE_SIZE];
};

static_assert(sizeof(KeyRect) == 20, "KeyRect is five 32-bit values");
static_assert(sizeof(ToolStateBlock) == TOOL_STATE_SIZE, "stored block size");
static_assert(offsetof(ToolStateBlock, octaves) == 4, "stored layout");
static_assert(offsetof(ToolStateBlock, lastKey) == 8, "stored layout");
static_assert(offsetof(ToolStateBlock, currentKey) == 12, "stored layout");
static_assert(offsetof(ToolStateBlock, voice) == 16, "stored layout");
static_assert(offsetof(ToolStateBlock, deviceNumber) == 28, "stored layout");
static_assert(offsetof(ToolStateBlock, volume) == 32, "stored layout");
static_assert(offsetof(ToolStateBlock, reserved34) == 34, "stored layout");
static_assert(offsetof(ToolStateBlock, keys) == 36, "stored layout");

// Settings of a tool created without a saved block.
inline void SetDefaultState(ToolStateBlock* block)
{
    block->reserved0 = 0;
    block->octaves = 3;
    block->deviceNumber = -1;
    block->voice = 0;
    block->volume = 100;
}

// Built by the host for PNM_FITSIZE; only these fields are read.
struct SizeFitRequest {
    int32_t minWidth;
    int32_t minHeight;
    int32_t maxWidth;
    int32_t maxHeight;
    int32_t byHeight;  // nonzero: size is a height; zero: size is a width
    uint16_t size;
};

static_assert(offsetof(SizeFitRequest, byHeight) == 16, "host record layout");
static_assert(offsetof(SizeFitRequest, size) == 20, "host record layout");

// The result of PNM_GETIDEALSIZE and PNM_FITSIZE: width in the low 16 bits,
// height in the high 16 bits.
inline uint32_t PackSize(uint32_t width, uint32_t height)
{
    return (width & 0xFFFFu) | ((height & 0xFFFFu) << 16);
}

// The records above are plain data that build anywhere; the messages, the
// window records and the exports need the Windows headers.
#ifdef _WIN32
#include <windows.h>

// Private messages, host to tool.
enum : UINT {
    PNM_GETSTATE = WM_USER + 105,        // lParam: ToolStateBlock** out; result 1936
    PNM_SETSTATE = WM_USER + 106,        // lParam: 1936 bytes of a saved block
    PNM_CREATEPROPPAGE = WM_USER + 107,  // wParam: container; lParam: x | y << 16
    PNM_GETIDEALSIZE = WM_USER + 108,    // result: packed size
    PNM_FITSIZE = WM_USER + 109,         // lParam: SizeFitRequest*; result: packed size
    PNM_FITSIZE2 = WM_USER + 110,        // handled as PNM_FITSIZE
    PNM_FITSIZE3 = WM_USER + 111,        // handled as PNM_FITSIZE
    PNM_BEEP = WM_USER + 132,
    PNM_REFRESH = WM_USER + 151,
};

// Private messages, tool to host (sent to the tool's parent).
enum : UINT {
    PNM_SHOWPROPERTIES = WM_USER + 131,  // wParam: the tool window
    PNM_PAINTNOTIFY = WM_USER + 139,     // lParam: PaintNotice*
};

// The host's apply command, sent as WM_COMMAND to the tool's property page.
enum : UINT {
    ID_PAGE_APPLY = 323,
};

// Handed to the host while a tool paints, before the keyboard is copied.
struct PaintNotice {
    HWND hwnd;     // the tool window
    HDC hdc;       // the paint device context
    RECT rcInner;  // the client rectangle inside the etched edge
    LONG reserved[3];
};

// The type description the host reads through the pointer it is given.
struct PanelTypeInfo {
    char name[20];
    char description[80];
    HBITMAP image;      // 16 x 16, 16 colours
    HBITMAP monoImage;  // 16 x 16, monochrome
};

#ifndef _WIN64
static_assert(sizeof(PaintNotice) == 36, "host record layout");
static_assert(offsetof(PaintNotice, rcInner) == 8, "host record layout");
static_assert(offsetof(PanelTypeInfo, description) == 20, "host record layout");
static_assert(offsetof(PanelTypeInfo, image) == 100, "host record layout");
static_assert(offsetof(PanelTypeInfo, monoImage) == 104, "host record layout");
#endif

// The exports, as a host finds them by name: EnumeratePanelTypes, and the
// three entry points it reports (InitMorvaToolType, MorvaToolCreate,
// MorvaToolCleanup).
typedef BOOL(WINAPI* EnumeratePanelTypesProc)(char* initName, char* createName, char* cleanupName,
                                              HINSTANCE hHost, DWORD);
typedef PanelTypeInfo**(WINAPI* InitToolTypeProc)(PanelTypeInfo** out, DWORD);
typedef HWND(WINAPI* ToolCreateProc)(HWND parent, const RECT* placement, const void* saved, DWORD,
                                     DWORD);
typedef void(WINAPI* ToolCleanupProc)(DWORD);

#endif  // _WIN32
