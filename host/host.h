// The host program: its state and what its parts share, by file, lower parts
// first. The module is reached only through its exports and panel messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/careful_file.h"
#include "host/hostres.h"
#include "host/settings_file.h"
#include "host/text.h"
#include "include/morva.h"

enum HostExit {
    HOST_EXIT_OK = 0,
    HOST_EXIT_USAGE = 2,      // bad command line
    HOST_EXIT_NO_MODULE = 3,  // the DLL is missing or does not load
    HOST_EXIT_NO_EXPORT = 4,  // an entry point is not exported
    HOST_EXIT_NO_TYPE = 5,    // the module offers no panel type, or it does not initialise
    HOST_EXIT_NO_WINDOW = 6,  // the host's own windows could not be made
};

enum : UINT {
    IDM_HOST_SAVE = 40001,
    IDM_HOST_EXIT = 40002,
    IDM_HOST_ADD_TOOL = 40003,
    IDM_HOST_REMOVE_TOOL = 40004,
    IDM_HOST_ABOUT = 40005,
    IDC_SHEET_CONTAINER = 100,
    IDC_SHEET_APPLY = 101,
};

struct PanelType {
    char initName[32], createName[32], cleanupName[32];  // its entry points
    InitToolTypeProc init;
    ToolCreateProc create;
    ToolCleanupProc cleanup;
    PanelTypeInfo* info;
};

// The host's state, one for the program (hooks.cpp).
struct HostState {
    HINSTANCE instance;
    HMODULE module;  // the loaded Morva module
    std::string modulePath;
    PanelType type;  // the type whose tools the panel holds
    HWND mainWindow;
    HWND panel;               // child of the main window, parent of every tool
    std::vector<HWND> tools;  // in panel order, top first
    HWND sheet;               // the open property sheet, or null
    HWND sheetTool;           // the tool the sheet edits
    HWND page;                // the tool's page inside the sheet
    std::string settingsPath;
    std::string settingsPlace;  // why the settings are kept there, in the user's words
    std::string settingsKept;   // non-empty: the file is left as it is, and why
    HFONT sheetFont;            // the sheet's buttons' font, made for its dots per inch
};
extern HostState host;

// The hooks (hooks.cpp), for a program that drives the host to take over: by
// default message boxes, and notes and notices go nowhere.
struct HostHooks {
    void (*tell)(const std::string& text, UINT icon);  // a message with an MB_ICON* icon
    bool (*confirm)(const std::string& question);      // true: go on
    void (*note)(const std::string& line);             // a step the host took
    void (*paintNotice)(const PaintNotice* notice);    // a tool is about to copy its keyboard
};
extern HostHooks hostHooks;
extern const char kHostCaption[];  // the title of the host's windows and message boxes
void HostMessage(const std::string& text, UINT icon);  // tells the user
void HostLog(const std::string& line);                 // notes a step

// Dots per inch and window classes (dpi.cpp). Sizes are given for 96 dpi.
UINT WindowDpi(HWND hwnd);
int Scaled(int pixels, UINT dpi);
HFONT CreateHostFont(UINT dpi, LONG weight);  // the dialog font; the caller deletes it
void AdjustWindowRectForDpi(RECT* rc, HWND hwnd, BOOL menu, UINT dpi);
// A class with the arrow cursor and `background` (null: the window paints all).
bool RegisterHostClass(const char* name, WNDPROC proc, HBRUSH background);

// The panel (panel.cpp). The tests look for the window classes' names.
extern const char kPanelClass[];
bool RegisterPanelClass();
HWND AddTool(const uint8_t* savedBlock);
void RemoveLastTool();  // its sheet first, when it has one open
void LayoutPanel();
int ToolNumber(HWND tool);  // 1-based, 0 for a window that is not a tool
SIZE PanelMinimumSize();

// The property sheet (sheet.cpp), for one of the panel's tools.
bool RegisterSheetClass();
void OpenPropertySheet(HWND tool);
void ClosePropertySheet();
bool SheetDialogMessage(MSG* msg);

// Where the settings are kept (settings_place.cpp), and in `place` why.
std::string DefaultSettingsPath(std::string* place);
std::string ChooseSettingsPath(const std::string& programFolder, const std::string& dataFolder,
                               std::string* place);

// The files the host makes beside the settings file (settings_leftovers.cpp).
enum LeftoverName {
    LEFT_TEMPORARY,
    LEFT_OLD_TEMPORARY,
    LEFT_ENDED,
    LEFT_UNSAVED,
    LEFT_KEPT,
    LEFT_BAD,
    LEFT_VERSION_1,
    LEFT_VERSION_2,
    LEFT_REPLACED
};
extern const char kUnsavedStart[];  // how a marker of a session's end that could not save begins
std::string LeftoverSuffix(LeftoverName kind);  // after FILE in the first of a kind: ".bad"
void AddProblem(std::string* problem, const std::string& text);  // a paragraph to tell at start
// Where the settings file is missing, moves the newest whole temporary file
// no host writes into its place (`taken` its bytes, `from` its name); false,
// and `problem` says why, where one that may be someone's only copy stays.
bool TakeBackUnfinishedSave(std::vector<uint8_t>* taken, std::string* from, std::string* problem);
// Removes what is no one's only copy, given the settings file's bytes (null:
// there is none), and tells what a session's end left.
void RemoveLeftovers(const std::vector<uint8_t>* settings, std::string* problem);

// The settings file at host.settingsPath (settings.cpp), or a save's whole
// temporary file; what saves left is cleared, and `problem` gets what to tell
// at start. A damaged file is set aside; one not the host's or a newer host's,
// or one that cannot be written or set aside, stays (host.settingsKept).
HostSettings LoadHostSettings(bool* fromFile, std::string* problem);
// At the user's word (Save, quitting), or as Windows ends, when nobody is asked.
enum SaveOccasion { SAVE_BY_USER, SAVE_AT_SESSION_END };
enum SaveOutcome {
    SAVE_DONE,      // in the file, or kept apart beside it
    SAVE_NOT_MADE,  // the file is kept as it is, or the user chose not to save over it
    SAVE_FAILED,    // the user has been told, or will be at the next start
};
// A file another host saved since this one read it is replaced, and kept as
// a copy, only at the user's word; as the session ends, and over a newer
// host's file or one not the host's, the settings go to a file of their own.
SaveOutcome SaveHostSettings(const HostSettings& settings, SaveOccasion occasion);

// The module (module.cpp), with its first panel type; on a fault the user is
// told, the module let go, and the exit code returned.
int OpenPanelModule(const std::string& path);
void ClosePanelModule();

// The main window (mainwindow.cpp), placed as `layout` says while on a screen.
bool CreateMainWindow(const PanelLayout& layout, bool mayMaximize);
std::string SettingsText();  // where the settings are kept and why, for the user
SaveOutcome SaveHostPanel(SaveOccasion occasion);  // the tools and the window's place

// The host's run (hostmain.cpp): the module (empty: morva.dll beside it) and
// the saved tools, maximised as settings and `mayMaximize` say; or the exit code.
int OpenHost(const std::string& modulePath, bool mayMaximize);
void RunHost();
