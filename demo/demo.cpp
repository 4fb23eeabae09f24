// The scripted demo: opens the first tool's property page through the tool's
// own Properties command, chooses a MIDI output by name (the capture device
// unless told otherwise) and a voice and applies them, plays a phrase with
// the mouse on the keys the tool laid out (read from its key table), and
// saves screenshots and the settings. morvademo.exe drives the host from
// outside: it takes over the host's hooks, so that what the host would tell
// the user, and the steps it takes, go into the demo's log.
#include <cstdio>
#include <cstring>

#include "demo/options.h"
#include "demo/png.h"
#include "demo/smf.h"
#include "host/host.h"
#include "include/morva_controls.h"

namespace {

const int DEMO_EXIT_FAILED = 7;  // the demo could not play or write its results

std::vector<std::string> demoLog;  // what the demo did and every message box it answered
long paintNotices;                 // PNM_PAINTNOTIFY messages the panel received

HHOOK answeringHook;  // set while the demo runs; answers every message box
HHOOK pressHook;      // set while the phrase plays; sees the mouse messages the system delivers
HWND pressTarget;     // the tool being played

// Mouse messages that reached pressTarget through the message queue.
struct Delivered {
    int presses;
    int slides;  // moves with the left button held
    int releases;
};
Delivered delivered;

// How long system input may take to reach the tool before the demo stops
// waiting for it; it arrives in far less on any machine that delivers it.
const DWORD kInputWaitMs = 2000;

std::string WindowText(HWND hwnd)
{
    wchar_t text[1024] = L"";
    GetWindowTextW(hwnd, text, sizeof text / sizeof text[0]);
    return Utf8(text);
}

// A message box would wait for a user who is not there: note what it said
// and press its first harmless button.
void AnswerMessageBox(HWND box)
{
    HWND textControl = GetDlgItem(box, 0xFFFF);
    std::string text = textControl ? WindowText(textControl) : std::string();
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    HostLog("message box \"" + WindowText(box) + "\": " + text);
    const int answers[] = {IDOK, IDNO, IDCANCEL, IDYES};
    for (int id : answers) {
        HWND button = GetDlgItem(box, id);
        if (button) {
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
            return;
        }
    }
    PostMessageA(box, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK AnsweringHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char cls[16] = "";
        GetClassNameA(window, cls, sizeof cls);
        if (strcmp(cls, "#32770") == 0 && !(GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD)) {
            AnswerMessageBox(window);
        }
    }
    return CallNextHookEx(answeringHook, code, wParam, lParam);
}

LRESULT CALLBACK PressHook(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->hwnd == pressTarget) {
        switch (msg->message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:  // a press on the key just released
            delivered.presses++;
            break;
        case WM_MOUSEMOVE:
            delivered.slides += (msg->wParam & MK_LBUTTON) != 0;
            break;
        case WM_LBUTTONUP:
            delivered.releases++;
            break;
        default:
            break;
        }
    }
    return CallNextHookEx(pressHook, code, wParam, lParam);
}

// Lets the windows run for a while, as a user's pause would.
void Pump(DWORD ms)
{
    DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            if (!SheetDialogMessage(&msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        DWORD now = GetTickCount();
        if (static_cast<LONG>(end - now) <= 0) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    }
}

// Lets the windows run until the tool has taken one more of the counted
// messages from its queue. Input sent through the system arrives when the
// system gets to it, and a move still queued would merge with the next one,
// losing a key of a slide.
bool PumpUntilDelivered(const int& count, int before)
{
    DWORD end = GetTickCount() + kInputWaitMs;
    while (count == before && static_cast<LONG>(end - GetTickCount()) > 0) {
        Pump(5);
    }
    return count != before;
}

// Writes what the screen shows inside `r` as a PNG file.
bool SaveWindowPng(const RECT& r, const std::string& path)
{
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<uint8_t> rgb;
    if (dib && bits) {
        HGDIOBJ old = SelectObject(mem, dib);
        BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
        GdiFlush();
        const uint8_t* bgra = static_cast<const uint8_t*>(bits);
        rgb.resize(static_cast<size_t>(width) * height * 3);
        for (size_t i = 0; i < static_cast<size_t>(width) * height; i++) {
            rgb[3 * i] = bgra[4 * i + 2];
            rgb[3 * i + 1] = bgra[4 * i + 1];
            rgb[3 * i + 2] = bgra[4 * i];
        }
        SelectObject(mem, old);
    }
    if (dib) {
        DeleteObject(dib);
    }
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    if (rgb.empty()) {
        HostLog("the screen could not be read for " + path);
        return false;
    }
    std::string error;
    if (!WriteFileAtomically(path, EncodePng(rgb.data(), width, height), &error)) {
        HostLog("could not write " + path + ": " + error);
        return false;
    }
    return true;
}

std::string ComboText(HWND combo, int index)
{
    LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || length > 1000) {
        return std::string();
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return text;
}

// Chooses the first output whose name holds `name`; the page lists them as
// the system names them. Without one the first output is chosen.
void ChooseDevice(HWND page, const std::string& name)
{
    HWND combo = GetDlgItem(page, IDC_DEVICE);
    int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    if (count <= 0) {
        HostLog("the page lists no MIDI output device");
        return;
    }
    int chosen = -1;
    std::string listed;
    for (int i = 0; i < count; i++) {
        std::string text = ComboText(combo, i);
        listed += (i ? ", \"" : "\"") + text + "\"";
        if (chosen < 0 && text.find(name) != std::string::npos) {
            chosen = i;
        }
    }
    HostLog("MIDI outputs listed: " + listed);
    if (chosen < 0) {
        HostLog("no output's name holds \"" + name + "\"; the first is chosen");
        chosen = 0;
    }
    SendMessageA(combo, CB_SETCURSEL, chosen, 0);
    HostLog("device chosen: " + ComboText(combo, chosen));
}

void ChooseVoice(HWND page, int voice)
{
    HWND combo = GetDlgItem(page, IDC_VOICE);
    int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    if (count <= voice) {
        HostLog("the page lists " + std::to_string(count < 0 ? 0 : count) + " voices; voice " +
                std::to_string(voice) + " cannot be chosen");
        return;
    }
    SendMessageA(combo, CB_SETCURSEL, voice, 0);
    HostLog("voice chosen: " + ComboText(combo, voice));
}

void ApplySoundThroughSheet(HWND tool, const std::string& device, int voice,
                            const std::string& outDir)
{
    // What the tool's Properties menu item does: the tool asks the host.
    SendMessageA(tool, WM_COMMAND, MAKEWPARAM(IDM_PROPERTIES, 0), 0);
    Pump(150);
    if (!host.sheet || !host.page) {
        HostLog("no property sheet was opened");
        return;
    }
    ChooseDevice(host.page, device);
    ChooseVoice(host.page, voice);
    Pump(150);
    RECT rc;
    GetWindowRect(host.sheet, &rc);
    if (SaveWindowPng(rc, outDir + "\\properties.png")) {
        HostLog("screenshot: properties.png");
    }
    SendMessageA(host.sheet, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    Pump(150);
}

struct PhraseNote {
    int key;     // index in the key table: semitones above the keyboard's lowest C
    DWORD ms;    // how long the key is held
    bool slide;  // reached by sliding from the previous key with the button held
    bool shot;   // the screenshot is taken while this key is held
};

const PhraseNote kPhrase[] = {
#define PHRASE_NOTE(key, ms, slide, shot) {key, ms, slide != 0, shot != 0},
#include "demo/phrase.inc"
#undef PHRASE_NOTE
};

// Where to put the mouse on a key: the middle of what is visible of it.
// White keys are taken below the black keys, black keys halfway down.
bool KeyPoint(const ToolStateBlock& state, int key, POINT* pt)
{
    if (key < 0 || key > state.lastKey || key >= KEY_TABLE_SIZE) {
        return false;
    }
    const KeyRect& k = state.keys[key];
    if (k.right <= k.left || k.bottom <= k.top) {
        return false;
    }
    pt->x = (k.left + k.right) / 2;
    pt->y = k.black ? k.top + (k.bottom - k.top) / 2 : k.top + (k.bottom - k.top) * 4 / 5;
    return true;
}

struct Player {
    HWND tool;
    bool systemInput;  // through the system's input queue; otherwise messages straight to the tool
    bool decided;
    bool holdingByInput;  // the key held was pressed through the system's input
    POINT at;             // client point of the key held
};

void SendMouse(DWORD flags, POINT screen)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}

POINT ToScreen(HWND tool, POINT pt)
{
    ClientToScreen(tool, &pt);
    return pt;
}

// System input goes to whatever window is on top at that point; only the
// tool itself may be clicked.
bool ToolIsUnder(HWND tool, POINT pt)
{
    return WindowFromPoint(ToScreen(tool, pt)) == tool;
}

void Press(Player& p, POINT pt)
{
    p.at = pt;
    p.holdingByInput = p.systemInput && ToolIsUnder(p.tool, pt);
    if (p.holdingByInput) {
        SendMouse(0, ToScreen(p.tool, pt));
        Pump(10);
        int presses = delivered.presses;
        SendMouse(MOUSEEVENTF_LEFTDOWN, ToScreen(p.tool, pt));
        bool arrived = PumpUntilDelivered(delivered.presses, presses);
        if (!p.decided) {
            p.decided = true;
            if (!arrived) {
                SendMouse(MOUSEEVENTF_LEFTUP, ToScreen(p.tool, pt));
                Pump(15);
                p.systemInput = false;
                p.holdingByInput = false;
                HostLog(
                    "system mouse input did not reach the tool; the phrase is played with "
                    "mouse messages sent to it");
            } else {
                HostLog("the phrase is played with system mouse input");
            }
        }
    }
    if (!p.holdingByInput) {
        SendMessageA(p.tool, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    }
}

void Slide(Player& p, POINT pt)
{
    p.at = pt;
    if (p.holdingByInput) {
        int slides = delivered.slides;
        SendMouse(0, ToScreen(p.tool, pt));
        PumpUntilDelivered(delivered.slides, slides);
    } else {
        SendMessageA(p.tool, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    }
}

void Release(Player& p)
{
    if (p.holdingByInput) {
        int releases = delivered.releases;
        SendMouse(MOUSEEVENTF_LEFTUP, ToScreen(p.tool, p.at));
        PumpUntilDelivered(delivered.releases, releases);
    } else {
        SendMessageA(p.tool, WM_LBUTTONUP, 0, MAKELPARAM(p.at.x, p.at.y));
    }
}

bool SaveHostScreenshot(const std::string& outDir, const std::string& what)
{
    RECT rc;
    GetWindowRect(host.mainWindow, &rc);
    if (!SaveWindowPng(rc, outDir + "\\host.png")) {
        return false;
    }
    HostLog("screenshot: host.png, " + what);
    return true;
}

// Returns whether the screenshot was taken while a key was held.
bool PlayPhrase(HWND tool, const std::string& outDir, bool systemInput)
{
    const ToolStateBlock* lent = nullptr;
    if (SendMessageA(tool, PNM_GETSTATE, 0, reinterpret_cast<LPARAM>(&lent)) != TOOL_STATE_SIZE ||
        !lent) {
        HostLog("the tool lent no settings block; nothing is played");
        return false;
    }
    ToolStateBlock state;
    memcpy(&state, lent, sizeof state);
    HostLog("key table: " + std::to_string(state.octaves) + " octaves, last key " +
            std::to_string(state.lastKey));
    SetForegroundWindow(host.mainWindow);
    Pump(100);
    Player player = {tool, systemInput, !systemInput, false, {0, 0}};
    if (!systemInput) {
        HostLog("the phrase is played with mouse messages sent to the tool");
    }
    pressTarget = tool;
    delivered = {};
    pressHook = SetWindowsHookExA(WH_GETMESSAGE, PressHook, nullptr, GetCurrentThreadId());
    bool holding = false;
    int played = 0, skipped = 0;
    bool shot = false;
    for (const PhraseNote& n : kPhrase) {
        POINT pt;
        if (!KeyPoint(state, n.key, &pt)) {
            skipped++;
            continue;
        }
        if (n.slide && holding) {
            Slide(player, pt);
        } else {
            if (holding) {
                Release(player);
                Pump(20);
            }
            Press(player, pt);
        }
        holding = true;
        played++;
        if (n.shot) {
            Pump(60);
            shot = SaveHostScreenshot(outDir, "with key " + std::to_string(n.key) + " held");
        }
        Pump(n.ms);
    }
    if (holding) {
        Release(player);
        Pump(50);
    }
    if (pressHook) {
        UnhookWindowsHookEx(pressHook);
        pressHook = nullptr;
    }
    HostLog("phrase: " + std::to_string(played) + " keys played, " + std::to_string(skipped) +
            " not on the keyboard");
    return shot;
}

void LogTypeInfo()
{
    const PanelTypeInfo* info = host.type.info;
    BITMAP bm = {};
    GetObjectA(info->image, sizeof bm, &bm);
    HostLog("module: " + host.modulePath);
    HostLog("panel type: \"" + std::string(info->name, strnlen(info->name, sizeof info->name)) +
            "\", \"" +
            std::string(info->description, strnlen(info->description, sizeof info->description)) +
            "\", image " + std::to_string(bm.bmWidth) + " x " + std::to_string(bm.bmHeight) +
            " at " + std::to_string(bm.bmBitsPixel) + " bits per pixel");
}

// What the capture device recorded, found as the device finds it through
// MORVA_CAPTURE_MID (tools/run.sh points it into the demo folder): notes,
// program changes and length.
void LogCapture()
{
    wchar_t value[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"MORVA_CAPTURE_MID", value, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return;
    }
    std::string path = Utf8(value);
    std::string name = path;
    name = name.substr(name.find_last_of("\\/") + 1);
    std::vector<uint8_t> bytes;
    DWORD error = ERROR_SUCCESS;
    std::vector<SmfEvent> events;
    if (!ReadWholeFile(path, &bytes, &error) || bytes.empty()) {
        HostLog(name + ": not written (the tool never opened the capture device)");
        return;
    }
    if (!DecodeSmf(bytes, &events)) {
        HostLog(name + ": " + std::to_string(bytes.size()) + " bytes, not a capture file");
        return;
    }
    int notes = 0;
    std::string programs;
    for (const SmfEvent& e : events) {
        int status = e.bytes[0] & 0xF0;
        notes += status == 0x90 && e.bytes[2] != 0;
        if (status == 0xC0) {
            programs += (programs.empty() ? "" : ", ") + std::to_string(e.bytes[1]);
        }
    }
    char seconds[32];
    snprintf(seconds, sizeof seconds, "%.1f s", events.empty() ? 0.0 : events.back().tick / 1000.0);
    HostLog(name + ": " + std::to_string(bytes.size()) + " bytes, " + std::to_string(notes) +
            " notes, program changes " + (programs.empty() ? "none" : "[" + programs + "]") + ", " +
            seconds);
}

void StartAnsweringMessageBoxes()
{
    answeringHook = SetWindowsHookExA(WH_CBT, AnsweringHook, nullptr, GetCurrentThreadId());
}

int RunDemo(const std::string& outDir, const std::string& device, int voice, bool systemInput)
{
    DWORD start = GetTickCount();
    LogTypeInfo();
    Pump(200);
    while (host.tools.size() < 2 && AddTool(nullptr)) {
        HostLog("tool " + std::to_string(host.tools.size()) + " added");
    }
    Pump(200);
    if (host.tools.empty()) {
        HostLog("there is no tool to play");
        return DEMO_EXIT_FAILED;
    }
    HWND tool = host.tools.front();
    ApplySoundThroughSheet(tool, device, voice, outDir);
    if (!PlayPhrase(tool, outDir, systemInput)) {
        Pump(100);
        SaveHostScreenshot(outDir, "after the phrase");
    }
    if (SaveHostPanel(SAVE_BY_USER) == SAVE_DONE) {
        HostLog("settings saved: " + host.settingsPath + " (" + std::to_string(host.tools.size()) +
                " tools)");
    }
    HostLog("paint notices received: " + std::to_string(paintNotices));
    HostLog("demo took " + std::to_string(GetTickCount() - start) + " ms");
    DWORD attributes = GetFileAttributesW(Wide(outDir + "\\host.png").c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? DEMO_EXIT_FAILED : HOST_EXIT_OK;
}

bool WriteDemoLog(const std::string& outDir)
{
    LogCapture();  // the tools have closed the device by now, so the file is whole
    std::string text;
    for (const std::string& line : demoLog) {
        text += line + "\n";
    }
    std::string error;
    return WriteFileAtomically(outDir + "\\demo-log.txt",
                               std::vector<uint8_t>(text.begin(), text.end()), &error);
}

void TellInLog(const std::string& text, UINT)
{
    HostLog("host message: " + text);
}

// A save that fails as the demo quits is in the log already; it quits all the same.
bool GoOn(const std::string&)
{
    return true;
}

void NoteInLog(const std::string& line)
{
    demoLog.push_back(line);
}

void CountPaintNotice(const PaintNotice*)
{
    paintNotices++;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    host.instance = instance;
    DemoOptions options;
    std::string error;
    if (!ParseDemoOptions(Arguments(), &options, &error)) {
        HostMessage(error + "\n\n" + kDemoUsage, MB_ICONERROR);
        return HOST_EXIT_USAGE;
    }
    // Scripted: no message box of the host's, and the module's are answered.
    hostHooks = {TellInLog, GoOn, NoteInLog, CountPaintNotice};
    host.settingsPath = options.settingsPath.empty() ? options.outDir + "\\morvahost.settings"
                                                     : options.settingsPath;
    host.settingsPlace =
        options.settingsPath.empty() ? "the demo's folder" : "given with --settings";
    CreateDirectoryW(Wide(options.outDir).c_str(), nullptr);
    StartAnsweringMessageBoxes();
    int code = OpenHost(options.dllPath, false);
    if (code != HOST_EXIT_OK) {
        return code;
    }
    int result = RunDemo(options.outDir, options.device, options.voice, !options.mouseMessages);
    if (host.mainWindow) {
        PostMessageA(host.mainWindow, WM_CLOSE, 0, 0);
    }
    RunHost();
    return WriteDemoLog(options.outDir) ? result : DEMO_EXIT_FAILED;
}
