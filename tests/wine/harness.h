// Test harness for the module under Wine: loads morva.dll as a host does,
// plays the host window, catches message boxes and debug output, and reaches
// the recording winmm double.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "include/morva.h"
#include "include/morva_controls.h"
#include "tests/winmm_double/winmm_double.h"

// The module's exports, found by name as the host finds them.
struct MorvaModule {
    HMODULE dll;
    EnumeratePanelTypesProc enumerate;
    InitToolTypeProc init;
    ToolCreateProc create;
    ToolCleanupProc cleanup;
};

const MorvaModule& LoadMorva();
// The module unloaded and loaded again, as a new process finds it: its tool
// class (registered for `hostInstance`) unregistered and its globals at their
// start. No tool of it may be left. The import hooks must be set again.
const MorvaModule& ReloadMorva(HINSTANCE hostInstance);
void UnloadMorva(HINSTANCE hostInstance);

// Points the module's import of `function` from the system DLL `from` at
// `replacement` and returns the original (null when the module does not import it), so a
// test can watch a system call.
void* HookImport(HMODULE dll, const char* from, const char* function, void* replacement);

// Points the module's import at `replacement` and keeps the original in
// `*original`; hooking it again keeps the first original.
template <typename F>
void Watch(HMODULE module, const char* from, const char* function, F* original, F replacement)
{
    void* real = HookImport(module, from, function, reinterpret_cast<void*>(replacement));
    if (real && real != reinterpret_cast<void*>(replacement)) {
        *original = reinterpret_cast<F>(real);
    }
}

// The control block of the winmm double; fails the test if Wine's own winmm
// was loaded instead.
WinmmDoubleState* Winmm();
void ResetWinmm(UINT inDevs, UINT outDevs);
void FailWinmm(int call, MMRESULT code, int times = -1, int device = WINMM_ANY_DEVICE);
std::vector<WinmmRecord> WinmmCalls(int call);  // logged calls of one kind
std::vector<WinmmRecord> WinmmLog();            // every logged call
std::vector<DWORD> ShortMessages();             // packed words sent, in order
// Forgets the calls logged so far, keeping the scripted counts and failures.
inline void ClearWinmmLog()
{
    Winmm()->logCount = 0;
}

// A message box as the module asked for it (through MessageBoxA) and as it
// appeared on the screen (through a CBT hook).
struct CaughtDialog {
    HWND hwnd;
    HWND owner;     // the box's owner: the top-level window of the one named
    HWND ownerArg;  // the owner the caller named (message boxes only)
    std::string caption;
    std::string text;          // message boxes only
    std::vector<int> buttons;  // visible push buttons by id
    std::string icon;          // "error", "question", "warning", "information" or ""
    UINT style;                // style passed to MessageBoxA; ~0u for other dialogs
    int answer;
};

// Every #32770 window activated since the catcher was started. Each is
// answered with the next queued answer (default IDOK), or handed to the
// inspector when one is set.
void StartCatchingDialogs();
void StopCatchingDialogs();
std::vector<CaughtDialog>& CaughtDialogs();
void QueueDialogAnswer(int id);
typedef void (*DialogInspector)(HWND dialog);
void SetDialogInspector(DialogInspector inspector);
// From now on the host destroys `window` in the loop of the box numbered `box`
// (from 0) of those raised, or, with no window named, the window the module
// named as that box's owner; every box is answered with OK.
void DestroyInBox(HWND window, int box);

// Lines written with OutputDebugStringA.
std::vector<std::string>& DebugLines();

// Messages the tool sent to its host window.
struct HostRecord {
    UINT msg;
    WPARAM wParam;
    PaintNotice notice;  // PNM_PAINTNOTIFY only
};
std::vector<HostRecord>& HostMessages();
std::vector<HostRecord> HostMessages(UINT msg);

void PumpMessages();

// A host with one panel window; the module is loaded and its type initialised.
class MorvaTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HWND CreateTool(int left, int top, int right, int bottom,
                    const ToolStateBlock* saved = nullptr);
    ToolStateBlock DefaultBlock();  // the block of a tool made without one
    // A tool of `octaves` on output device `device`, its keys laid out by a
    // move, as a host's placing does, and painted.
    HWND PlayableTool(int left, int top, int right, int bottom, int octaves, int device = 0);

    const MorvaModule* morva = nullptr;
    HWND host = nullptr;
    PanelTypeInfo* typeInfo = nullptr;
};

// The settings block at the address PNM_GETSTATE lends a host, which reads
// and writes it there while the tool lives.
ToolStateBlock* LentBlock(HWND tool);

// Pixels read back as COLORREF values (0x00BBGGRR), row by row from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> colours;
    COLORREF At(int x, int y) const { return colours[static_cast<size_t>(y) * width + x]; }
};
Pixels CaptureClient(HWND hwnd);       // what the window's client area shows
Pixels CaptureBitmap(HBITMAP bitmap);  // the whole bitmap, which must not be selected

// For programs that link code under test into themselves: records the style
// of every MessageBoxA call `module` makes through its own import, as
// LoadMorva does for the module, so CaughtDialog::style is filled.
void RecordMessageBoxStylesOf(HMODULE module);

// Catches OutputDebugStringA lines into DebugLines() without loading the
// module. Calling it more than once does no harm.
void CatchDebugOutput();

// A ledger of the drawing and window objects the module makes and releases,
// kept by watching its imports. Live counts must come back to where they
// were once the module has finished with them.
struct ObjectLedger {
    long gdiObjects;       // pens, brushes, fonts, bitmaps made or loaded and not deleted
    long memoryDcs;        // CreateCompatibleDC without DeleteDC
    long windowDcs;        // GetDC without ReleaseDC
    long menus;            // CreatePopupMenu without DestroyMenu
    long failedDeletes;    // deletes of a handle the system refused
    long selectedDeletes;  // deletes of an object still selected into a device context
};
void StartObjectLedger(HMODULE module);
ObjectLedger Ledger();

// The module's heap blocks each on pages of their own. A block the module
// frees is made inaccessible and never given out again, so that any later
// read or write of it faults; the fault is counted, the block opened again
// and the module goes on. `freed`, when set, is told of each block as the
// module frees it. Blocks made before the guard go back to the heap as usual.
typedef void (*FreedBlockWatcher)(void* block);
void GuardModuleHeap(HMODULE module, FreedBlockWatcher freed = nullptr);
int FreedBlockTouches();      // faults on freed blocks since the guard was set
size_t GuardedBlocksInUse();  // blocks the guard gave out that the module has not freed

// Process-wide figures: GDI and USER objects as the system counts them (zero
// where the system does not count them) and private memory in bytes.
struct ProcessFigures {
    DWORD gdiObjects;
    DWORD userObjects;
    SIZE_T privateBytes;
};
ProcessFigures CurrentProcessFigures();
// A soak's count: the full one, or a share of it where MORVA_SOAK_DIVISOR says
// so (the emulated 32-bit system runs many times slower).
int SoakCount(int full);
// How long to wait for something before calling it missing: the given time,
// or a multiple of it where MORVA_WAIT_SCALE says so (the emulated system
// starts a program in seconds, not milliseconds). Only a failure waits so long.
DWORD Patience(DWORD ms);
// The performance counter in seconds, for the benchmarks.
double SecondsNow();

// The host's property sheet: a container window inside the host window that
// the tool's page is created in. The common controls are initialised first,
// as a host process has them before it asks for a page.
HWND CreatePageContainer(HWND host, int x, int y, int width, int height);
// PNM_CREATEPROPPAGE with the container and the page position.
HWND OpenPropertyPage(HWND tool, HWND container, int x, int y);
// The host's apply command to an open page; message boxes it raises are
// answered inside their own loops, and nothing else is pumped.
void ApplyPropertyPage(HWND page);
// The thread's visible top-level window of a class, or null; FindShownDialog
// looks for a dialog (#32770), reaching a modal dialog from a timer whether
// or not the system has activated it yet.
HWND FindShownWindow(const char* cls);
HWND FindShownDialog();

// How long a test waits for a dialog or message box it expects before it
// gives up on it: long beyond any start-up, short of ctest's own limit.
const DWORD kDialogWaitMs = 15000;
// Looks, from a timer, for the dialog a modal loop shows (FindShownDialog)
// and hands it to `seen` once it shows. A dialog that has not shown within
// kDialogWaitMs fails the test, naming `what`, and the thread's menus and
// dialogs are ended, so the modal loop the test waits in returns.
typedef void (*ShownDialogHandler)(HWND dialog);
void WatchForShownDialog(const char* what, ShownDialogHandler seen);
