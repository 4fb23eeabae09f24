// The module's entry points: attach, type enumeration, type set-up, tool creation.
#include <windows.h>

#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "include/morva.h"
#include "keyboard/sound.h"
#include "plugin/plugin.h"
#include "resources/resource.h"

HINSTANCE hModuleInstance;
HINSTANCE hHostInstance;

const char kToolClassName[] = "MorvaTool";

namespace {

ATOM toolClassAtom;           // set by the first successful InitMorvaToolType
bool typeReported;            // set by the first EnumeratePanelTypes; never cleared
PanelTypeInfo panelTypeInfo;  // filled by every InitMorvaToolType

const char kInitName[] = "InitMorvaToolType";
const char kCreateName[] = "MorvaToolCreate";
const char kCleanupName[] = "MorvaToolCleanup";

void RegisterToolClass()
{
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ToolWndProc;
    wc.cbWndExtra = sizeof(ToolInstance*);
    wc.hInstance = hHostInstance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kToolClassName;
    toolClassAtom = RegisterClassA(&wc);
}

// The images live as long as the module; later calls keep the first handles.
// Bitmaps outlive the module that loaded them, so they are deleted when a
// host unloads it.
void FillPanelTypeInfo()
{
    LoadStringA(hModuleInstance, IDS_TOOLNAME, panelTypeInfo.name, sizeof panelTypeInfo.name);
    LoadStringA(hModuleInstance, IDS_TOOLDESC, panelTypeInfo.description,
                sizeof panelTypeInfo.description);
    if (!panelTypeInfo.image) {
        panelTypeInfo.image = LoadBitmapA(hModuleInstance, MAKEINTRESOURCEA(IDB_TOOL));
    }
    if (!panelTypeInfo.monoImage) {
        panelTypeInfo.monoImage = LoadBitmapA(hModuleInstance, MAKEINTRESOURCEA(IDB_TOOL_MONO));
    }
}

void ReleasePanelTypeImages()
{
    for (HBITMAP* image : {&panelTypeInfo.image, &panelTypeInfo.monoImage}) {
        if (*image) {
            DeleteObject(*image);
            *image = nullptr;
        }
    }
}

ToolInstance* NewToolInstance(const void* saved)
{
    auto record = static_cast<ToolInstance*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ToolInstance)));
    if (!record) {
        return nullptr;
    }
    if (saved) {
        memcpy(&record->state, saved, TOOL_STATE_SIZE);
    } else {
        SetDefaultState(&record->state);
    }
    return record;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hinst, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        hModuleInstance = hinst;
    }
    // At process exit (reserved set) the system takes every object back, and
    // gdi32 may be gone already.
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        ReleasePanelTypeImages();
    }
    return TRUE;
}

extern "C" BOOL WINAPI EnumeratePanelTypes(char* initName, char* createName, char* cleanupName,
                                           HINSTANCE hHost, DWORD)
{
    hHostInstance = hHost;
    if (typeReported || !initName || !createName || !cleanupName) {
        return FALSE;
    }
    memcpy(initName, kInitName, sizeof kInitName);
    memcpy(createName, kCreateName, sizeof kCreateName);
    memcpy(cleanupName, kCleanupName, sizeof kCleanupName);
    typeReported = true;
    return TRUE;
}

extern "C" PanelTypeInfo** WINAPI InitMorvaToolType(PanelTypeInfo** out, DWORD)
{
    if (!toolClassAtom) {
        RegisterToolClass();
    }
    FillPanelTypeInfo();
    if (out) {
        *out = &panelTypeInfo;
    }
    return out;
}

extern "C" HWND WINAPI MorvaToolCreate(HWND parent, const RECT* placement, const void* saved, DWORD,
                                       DWORD)
{
    ToolInstance* record = NewToolInstance(saved);
    if (!record) {
        return nullptr;
    }
    RECT rc = {};
    if (placement) {
        rc = *placement;
    }
    HWND hwnd = CreateWindowExA(0, kToolClassName, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                                rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, parent,
                                nullptr, hHostInstance, nullptr);
    if (!hwnd) {
        HeapFree(GetProcessHeap(), 0, record);
        return nullptr;
    }
    record->hwnd = hwnd;
    SetUpToolSound(record);
    // The set-up's message boxes run a message loop in which the host could
    // destroy the new window; a record for a dead window would never be freed.
    // The record is attached only below, so a living window still holds none.
    if (!ToolStillHolds(hwnd, nullptr)) {
        ReleaseToolSound(record);
        HeapFree(GetProcessHeap(), 0, record);
        return nullptr;
    }
    // A window the record cannot be attached to could never free it: the
    // creation is undone as a failed one is.
    SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(record));
    if (!ToolStillHolds(hwnd, record)) {
        ReleaseToolSound(record);
        DestroyWindow(hwnd);
        HeapFree(GetProcessHeap(), 0, record);
        return nullptr;
    }
    return hwnd;
}

extern "C" void WINAPI MorvaToolCleanup(DWORD) {}

// The exports are what the protocol header tells a host to expect.
static_assert(std::is_same<decltype(&EnumeratePanelTypes), EnumeratePanelTypesProc>::value, "");
static_assert(std::is_same<decltype(&InitMorvaToolType), InitToolTypeProc>::value, "");
static_assert(std::is_same<decltype(&MorvaToolCreate), ToolCreateProc>::value, "");
static_assert(std::is_same<decltype(&MorvaToolCleanup), ToolCleanupProc>::value, "");
