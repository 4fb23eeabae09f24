// morvahost.exe from the outside: the test starts it as a child process
// (from this folder, so it loads morva.dll and the winmm double beside it),
// drives its windows with messages as a user's clicks would, and reads what
// it leaves behind: windows, message boxes, the settings file, the exit code.
// Also the capture device (a winmm.dll of its own folder), loaded by path.
#include <windows.h>
#include <mmsystem.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <numeric>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "host/checksum.h"
#include "host/host.h"
#include "host/settings_file.h"
#include "demo/smf.h"
#include "include/morva.h"
#include "include/morva_controls.h"
#include "tests/smf_reader.h"
#include "tests/wine/harness.h"

namespace {

// Aware of the screen's dots per inch, as morvahost.exe is (for the run at 120).
const BOOL kDpiAware = SetProcessDPIAware();

const UINT kAddTool = 40003;  // the host's Tools menu
const UINT kRemoveTool = 40004;
const UINT kSheetApply = 101;  // the sheet's Apply button
const UINT kSheetContainer = 100;
const UINT kAboutHost = 40005;  // the host's Help menu
const char kAboutHostText[] = "Morva Host shows the tools of a panel-tool module.";

// Paths and texts are UTF-8 here, as in the host.
std::wstring Wide(const std::string& s)
{
    std::wstring w(s.size(), L'\0');
    w.resize(MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0],
                                 static_cast<int>(w.size())));
    return w;
}

std::string Utf8(const wchar_t* w)
{
    std::string s(4 * wcslen(w), '\0');
    s.resize(WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(wcslen(w)), &s[0],
                                 static_cast<int>(s.size()), nullptr, nullptr));
    return s;
}

std::string ExeFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p = path;
    return p.substr(0, p.find_last_of('\\') + 1);
}

std::string TempPath(const std::string& name)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    std::string path =
        std::string(dir) + "morvahost-" + std::to_string(GetCurrentProcessId()) + "-" + name;
    DeleteFileA(path.c_str());
    DeleteFileA((path + ".bad").c_str());
    return path;
}

// Waits for something the host does; 15 s is far beyond any start-up.
bool WaitUntil(const std::function<bool()>& done, DWORD ms = 15000)
{
    DWORD end = GetTickCount() + Patience(ms);
    while (!done()) {
        if (static_cast<LONG>(end - GetTickCount()) <= 0) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

std::string ClassOf(HWND hwnd)
{
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    return cls;
}

std::string TextOf(HWND hwnd)  // in UTF-8
{
    wchar_t text[2048] = L"";
    GetWindowTextW(hwnd, text, 2048);
    return Utf8(text);
}

// The process's windows of a class (children of `parent`, or top-level),
// shown or not yet shown.
struct Search {
    DWORD pid;
    std::string cls;
    std::vector<HWND> all;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM lParam)
{
    Search* s = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == s->pid && ClassOf(hwnd) == s->cls) {
        s->all.push_back(hwnd);
    }
    return TRUE;
}

std::vector<HWND> WindowsOf(DWORD pid, const char* cls, HWND parent = nullptr)
{
    Search s = {pid, cls, {}};
    parent ? EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&s))
           : EnumWindows(Collect, reinterpret_cast<LPARAM>(&s));
    return s.all;
}

HWND FindTopLevel(DWORD pid, const char* cls)
{
    for (HWND hwnd : WindowsOf(pid, cls)) {
        if (IsWindowVisible(hwnd)) {
            return hwnd;
        }
    }
    return nullptr;
}

struct Box {
    std::string caption;
    std::string text;
};

Box BoxOf(HWND hwnd)
{
    return {TextOf(hwnd), TextOf(GetDlgItem(hwnd, 0xFFFF))};
}

std::string Describe(const std::vector<Box>& boxes)
{
    std::string text;
    for (const Box& b : boxes) {
        text += "\"" + b.caption + "\": " + b.text + "\n";
    }
    return text;
}

// A host started for one test; ended by the test or, failing that, killed.
struct HostRun {
    PROCESS_INFORMATION pi = {};
    HWND main = nullptr;

    ~HostRun()
    {
        if (pi.hProcess) {
            if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(pi.hProcess, 99);
                WaitForSingleObject(pi.hProcess, 5000);
            }
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }

    // The host (or another program) of `folder` (UTF-8), started there.
    bool Start(const std::string& arguments, const std::string& folder = ExeFolder(),
               const char* program = "morvahost.exe", DWORD flags = 0)
    {
        std::wstring command = Wide("\"" + folder + program + "\" " + arguments);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        return CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, flags, nullptr,
                              Wide(folder).c_str(), &si, &pi) != FALSE;
    }

    bool WaitForMain()
    {
        return WaitUntil(
            [&] { return (main = FindTopLevel(pi.dwProcessId, "MorvaHostWindow")) != nullptr; });
    }

    // The host's tools, top first.
    std::vector<HWND> Tools() const
    {
        std::vector<HWND> tools = WindowsOf(pi.dwProcessId, "MorvaTool", main);
        std::sort(tools.begin(), tools.end(), [](HWND a, HWND b) {
            RECT ra, rb;
            GetWindowRect(a, &ra);
            GetWindowRect(b, &rb);
            return ra.top < rb.top;
        });
        return tools;
    }

    // Waits for `n` tools laid out one below another: a tool is made with no
    // size at the panel's corner, and placed after.
    bool WaitForToolCount(size_t n)
    {
        return WaitUntil([&] {
            std::vector<HWND> tools = Tools();
            LONG above = LONG_MIN;
            for (HWND tool : tools) {
                RECT rc;
                GetWindowRect(tool, &rc);
                if (rc.bottom <= rc.top || rc.top <= above) {
                    return false;
                }
                above = rc.bottom;
            }
            return tools.size() == n;
        });
    }

    void Menu(UINT id) { PostMessageA(main, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    // Reads the first message box the host shows and presses a button.
    bool AnswerBox(Box* box, UINT button = IDOK)
    {
        HWND hwnd = nullptr;
        if (!WaitUntil(
                [&] { return (hwnd = FindTopLevel(pi.dwProcessId, "#32770")) != nullptr; })) {
            return false;
        }
        *box = BoxOf(hwnd);
        PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        return WaitUntil([&] { return !IsWindow(hwnd); });
    }

    // Asks for the host's own About box after everything the test did so
    // far. The host handles its posted commands in order, and start-up
    // before any, so once the box shows, whatever start-up and those
    // commands were to show is up too: a dialog then exists, shown or not.
    // Returns the host's other dialogs at that moment and closes the About
    // box; false when it never showed. `aboutText` gets the About box's text.
    bool OtherBoxesOnceSettled(std::vector<Box>* others, std::string* aboutText = nullptr)
    {
        Menu(kAboutHost);
        HWND about = nullptr;
        bool shown = WaitUntil([&] {
            for (HWND hwnd : WindowsOf(pi.dwProcessId, "#32770")) {
                if (IsWindowVisible(hwnd) && BoxOf(hwnd).text.rfind(kAboutHostText, 0) == 0) {
                    about = hwnd;
                }
            }
            return about != nullptr;
        });
        if (!shown) {
            return false;
        }
        if (aboutText) {
            *aboutText = BoxOf(about).text;
        }
        others->clear();
        for (HWND hwnd : WindowsOf(pi.dwProcessId, "#32770")) {
            if (hwnd != about) {
                others->push_back(BoxOf(hwnd));
            }
        }
        PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return WaitUntil([&] { return !IsWindow(about); });
    }

    DWORD WaitForExit(DWORD ms = 20000)
    {
        if (WaitForSingleObject(pi.hProcess, Patience(ms)) != WAIT_OBJECT_0) {
            return STILL_ACTIVE;
        }
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }

    DWORD Quit()
    {
        PostMessageA(main, WM_CLOSE, 0, 0);
        return WaitForExit();
    }
};

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(Wide(path).c_str(), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(Wide(path).c_str(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool ReadSettings(const std::string& path, HostSettings* settings)
{
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    return DecodeSettings(bytes.data(), bytes.size(), settings) == SETTINGS_OK;
}

ToolStateBlock BlockOf(const SavedTool& saved)
{
    ToolStateBlock block;
    memcpy(&block, saved.block, sizeof block);
    return block;
}

// The tool keeps its proportion: 32 pixels of width per octave for 20 of
// height, to within a pixel of height. A tool the host has just created is
// fitted by its panel's next layout, so that is waited for.
void ExpectProportion(HWND tool, int octaves)
{
    RECT rc;
    EXPECT_TRUE(WaitUntil([&] {
        GetClientRect(tool, &rc);
        return rc.bottom > 20;
    })) << "the panel never fitted the tool";
    EXPECT_LE(std::abs(static_cast<int>(rc.right * 20 - rc.bottom * 32 * octaves)), 32 * octaves)
        << rc.right << " x " << rc.bottom << " for " << octaves << " octaves";
}

HWND PageOf(HWND sheet)
{
    return FindWindowExA(GetDlgItem(sheet, kSheetContainer), nullptr, "#32770", nullptr);
}

// Wine ends the session as Windows does: WM_QUERYENDSESSION and WM_ENDSESSION
// to every program's windows, which it then ends, closing none of them.
DWORD EndWineSession()
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    HostRun wineboot;
    return wineboot.Start("--end-session --shutdown", std::string(system) + "\\", "wineboot.exe")
               ? wineboot.WaitForExit()
               : STILL_ACTIVE;
}

TEST(HostSession, ToolsAndTheirSettingsSurviveARestart)
{
    std::string settingsPath = TempPath("session.settings");
    HostRun first;
    ASSERT_TRUE(first.Start("--settings \"" + settingsPath + "\""));
    ASSERT_TRUE(first.WaitForMain());
    // No settings file yet: one tool with its defaults.
    ASSERT_TRUE(first.WaitForToolCount(1));
    first.Menu(kAddTool);
    first.Menu(kAddTool);
    ASSERT_TRUE(first.WaitForToolCount(3));
    // A tool's Properties: the tool asks the host for its sheet, which goes
    // with its page before the tool is removed.
    HWND sheet = nullptr;
    auto openSheet = [&](HWND tool) {
        PostMessageA(tool, WM_COMMAND, MAKEWPARAM(IDM_PROPERTIES, 0), 0);
        return WaitUntil([&] {
            return (sheet = FindTopLevel(first.pi.dwProcessId, "MorvaHostSheet")) != nullptr;
        });
    };
    ASSERT_TRUE(openSheet(first.Tools()[2]));
    EXPECT_EQ(TextOf(sheet), "Morva Properties - Tool 3");
    first.Menu(kRemoveTool);
    ASSERT_TRUE(first.WaitForToolCount(2));
    EXPECT_FALSE(IsWindow(sheet));

    HWND second = first.Tools()[1];
    ASSERT_TRUE(openSheet(second));
    EXPECT_EQ(TextOf(sheet), "Morva Properties - Tool 2");
    HWND page = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (page = PageOf(sheet)) != nullptr; }));
    HWND voice = GetDlgItem(page, IDC_VOICE);
    HWND device = GetDlgItem(page, IDC_DEVICE);
    EXPECT_EQ(SendMessageA(voice, CB_SETCURSEL, 40, 0), 40);
    EXPECT_EQ(SendMessageA(device, CB_SETCURSEL, 0, 0), 0);  // the double's one output
    SetWindowTextA(GetDlgItem(page, IDC_OCTAVES), "5");
    SetWindowTextA(GetDlgItem(page, IDC_VOLUME), "37");
    PostMessageA(sheet, WM_COMMAND, MAKEWPARAM(kSheetApply, BN_CLICKED), 0);
    // Apply leaves the sheet open; OK applies again and closes it, page first.
    ASSERT_TRUE(WaitUntil([&] {
        RECT rc;
        GetClientRect(second, &rc);
        return rc.bottom > 0 && rc.right * 20 > rc.bottom * 32 * 4;
    })) << "the panel fits the tool to its new octave count after Apply";
    EXPECT_TRUE(IsWindow(sheet));
    PostMessageA(sheet, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(sheet); }));
    std::vector<HWND> tools = first.Tools();
    ASSERT_EQ(tools.size(), 2u);
    ExpectProportion(tools[0], 3);
    ExpectProportion(tools[1], 5);
    // Not a quit: the session ends, and that saves them too, maximised.
    ShowWindow(first.main, SW_MAXIMIZE);
    ASSERT_EQ(EndWineSession(), 0u);
    ASSERT_EQ(first.WaitForExit(), 0u);

    HostSettings saved;
    ASSERT_TRUE(ReadSettings(settingsPath, &saved));
    ASSERT_EQ(saved.tools.size(), 2u);
    ToolStateBlock a = BlockOf(saved.tools[0]);
    ToolStateBlock b = BlockOf(saved.tools[1]);
    EXPECT_EQ(a.octaves, 3);
    EXPECT_EQ(a.voice, 0);
    EXPECT_EQ(a.deviceNumber, -1);
    EXPECT_EQ(b.octaves, 5);
    EXPECT_EQ(b.voice, 40);
    EXPECT_EQ(b.deviceNumber, 0);
    EXPECT_EQ(b.volume, 37);
    EXPECT_EQ(b.lastKey, 60);

    // The next run recreates both tools from their blocks, in their order.
    HostRun again;
    ASSERT_TRUE(again.Start("--settings \"" + settingsPath + "\""));
    ASSERT_TRUE(again.WaitForMain());
    ASSERT_TRUE(again.WaitForToolCount(2));
    tools = again.Tools();
    ExpectProportion(tools[0], 3);
    ExpectProportion(tools[1], 5);
    EXPECT_TRUE(IsZoomed(again.main));
    ShowWindow(again.main, SW_RESTORE);  // to its place before it was maximised
    RECT now;
    GetWindowRect(again.main, &now);
    EXPECT_EQ(now.right - now.left, saved.layout.width);
    EXPECT_EQ(now.bottom - now.top, saved.layout.height);
    ShowWindow(again.main, SW_MAXIMIZE);  // the keys laid out again as they were saved
    ASSERT_EQ(again.Quit(), 0u);
    HostSettings resaved;
    ASSERT_TRUE(ReadSettings(settingsPath, &resaved));
    ASSERT_EQ(resaved.tools.size(), 2u);
    for (size_t i = 0; i < 2; i++) {
        EXPECT_EQ(memcmp(resaved.tools[i].block, saved.tools[i].block, TOOL_STATE_SIZE), 0)
            << "tool " << i;
    }
    DeleteFileA(settingsPath.c_str());
}

TEST(HostSession, AnEmptiedPanelStaysEmptyAndSaveOnDemandWritesAtOnce)
{
    std::string settingsPath = TempPath("empty.settings");
    HostRun run;
    ASSERT_TRUE(run.Start("--settings \"" + settingsPath + "\""));
    ASSERT_TRUE(run.WaitForMain());
    ASSERT_TRUE(run.WaitForToolCount(1));
    run.Menu(kRemoveTool);
    ASSERT_TRUE(run.WaitForToolCount(0));
    run.Menu(40001);  // File, Save Settings
    HostSettings saved;
    ASSERT_TRUE(WaitUntil([&] { return ReadSettings(settingsPath, &saved); }));
    EXPECT_TRUE(saved.tools.empty());
    ASSERT_EQ(run.Quit(), 0u);

    HostRun again;
    ASSERT_TRUE(again.Start("--settings \"" + settingsPath + "\""));
    ASSERT_TRUE(again.WaitForMain());
    std::vector<Box> others;
    ASSERT_TRUE(again.OtherBoxesOnceSettled(&others)) << "the host's About box did not show";
    EXPECT_TRUE(again.Tools().empty());
    EXPECT_TRUE(others.empty()) << Describe(others);
    ASSERT_EQ(again.Quit(), 0u);
    DeleteFileA(settingsPath.c_str());
}

uint32_t BigEndian32(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

TEST(HostDemo, PlaysThroughThePageAndLeavesScreenshotsSettingsAndALog)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + "morvahost-demo-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    HostRun run;
    // Mouse messages: the system's pointer is shared with the tests that
    // run beside this one, and its clicks would reach their windows.
    ASSERT_TRUE(
        run.Start("\"" + dir + "\" --voice 40 --mouse-messages", ExeFolder(), "morvademo.exe"));
    ASSERT_EQ(run.WaitForExit(60000), 0u);

    for (const char* name : {"\\host.png", "\\properties.png"}) {
        std::vector<uint8_t> png = ReadFileBytes(dir + name);
        ASSERT_GT(png.size(), 33u) << name;
        EXPECT_EQ(memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0) << name;
        EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
        EXPECT_GT(BigEndian32(png, 16), 200u) << name << " width";
        EXPECT_GT(BigEndian32(png, 20), 100u) << name << " height";
    }
    HostSettings saved;
    ASSERT_TRUE(ReadSettings(dir + "\\morvahost.settings", &saved));
    ASSERT_EQ(saved.tools.size(), 2u);
    ToolStateBlock played = BlockOf(saved.tools[0]);
    EXPECT_EQ(played.voice, 40);
    EXPECT_EQ(played.deviceNumber, 0);
    std::vector<uint8_t> log = ReadFileBytes(dir + "\\demo-log.txt");
    std::string text(log.begin(), log.end());
    EXPECT_NE(text.find("panel type: \"Morva\", \"Morva Tool for Orbiscope\", image 16 x 16"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("voice chosen: 40)  Violin"), std::string::npos) << text;
    EXPECT_NE(text.find("played with mouse messages sent to the tool"), std::string::npos) << text;
    EXPECT_NE(text.find("phrase: 23 keys played"), std::string::npos) << text;
    EXPECT_EQ(text.find("message box"), std::string::npos) << text;
    for (const char* name :
         {"\\host.png", "\\properties.png", "\\morvahost.settings", "\\demo-log.txt"}) {
        DeleteFileA((dir + name).c_str());
    }
    RemoveDirectoryA(dir.c_str());
}

std::vector<uint8_t> GoodFile()
{
    HostSettings s = {};
    s.tools.resize(2);
    SetDefaultState(reinterpret_cast<ToolStateBlock*>(s.tools[0].block));
    SetDefaultState(reinterpret_cast<ToolStateBlock*>(s.tools[1].block));
    return EncodeSettings(s);
}

std::vector<uint8_t> NotOurs()
{
    return std::vector<uint8_t>(100, 'x');
}

std::vector<uint8_t> CutShort()
{
    std::vector<uint8_t> b = GoodFile();
    b.resize(b.size() - 100);
    return b;
}

std::vector<uint8_t> BadChecksum()
{
    std::vector<uint8_t> b = GoodFile();
    b[100] ^= 1;
    return b;
}

// A panel of two tools of five octaves, as a host before 1.1 wrote it:
// version 1, no writer.
std::vector<uint8_t> VersionOneFile()
{
    HostSettings s = {};
    s.tools.resize(2);
    for (SavedTool& t : s.tools) {
        SetDefaultState(reinterpret_cast<ToolStateBlock*>(t.block));
        reinterpret_cast<ToolStateBlock*>(t.block)->octaves = 5;
    }
    std::vector<uint8_t> b = EncodeSettings(s);
    b.erase(b.begin() + 16, b.begin() + 20);
    b[4] = 1;
    uint32_t crc = Crc32(b.data() + 16, b.size() - 16);
    memcpy(&b[12], &crc, 4);
    return b;
}

// Version 4 of Morva Host 9.8.7.
std::vector<uint8_t> NewerFile()
{
    HostSettings s = {};
    s.writer = PackHostVersion(9, 8, 7);
    std::vector<uint8_t> b = EncodeSettings(s);
    b[4] = 4;
    b.resize(200, 0x5A);
    uint32_t crc = SettingsChecksum(b.data(), b.size());
    memcpy(&b[12], &crc, 4);
    return b;
}

// What a start makes of the file it finds: it leaves it as it is, and says so
// at the start and in its About box; or sets it aside, damaged, and saves
// defaults; or reads it and writes it anew at the quit.
enum Verdict { KEPT, SET_ASIDE, WRITTEN };
struct FoundFile {
    const char* name;
    std::vector<uint8_t> (*make)();
    DWORD attributes;
    const char* says;  // the start's one box, after the file's path; null: none
    Verdict verdict;
    size_t tools;   // what the host starts with
    int octaves;    // of its first tool
    bool quitSays;  // quitting says where the settings cannot go
};

const FoundFile kFoundFiles[] = {
    {"not ours", NotOurs, FILE_ATTRIBUTE_NORMAL, "is not a Morva Host settings file", KEPT, 1, 3,
     true},
    {"cut short", CutShort, FILE_ATTRIBUTE_NORMAL, "cut short", SET_ASIDE, 1, 3, false},
    {"checksum", BadChecksum, FILE_ATTRIBUTE_NORMAL, "checksum", SET_ASIDE, 1, 3, false},
    {"version 1", VersionOneFile, FILE_ATTRIBUTE_NORMAL, nullptr, WRITTEN, 2, 5, false},
    {"newer", NewerFile, FILE_ATTRIBUTE_NORMAL,
     "was written by Morva Host 9.8.7, newer than this one", KEPT, 1, 3, false},
    {"read-only", GoodFile, FILE_ATTRIBUTE_READONLY, "can be read but not written", KEPT, 2, 3,
     false},
};

TEST(HostSettingsFile, EachFileFoundIsKeptSetAsideOrWrittenAnewAndSaidSoOnce)
{
    for (const FoundFile& f : kFoundFiles) {
        SCOPED_TRACE(f.name);
        std::string settingsPath = TempPath(std::string(f.name) + ".settings");
        std::vector<uint8_t> bytes = f.make();
        WriteBytes(settingsPath, bytes);
        SetFileAttributesA(settingsPath.c_str(), f.attributes);
        HostRun run;
        ASSERT_TRUE(run.Start("--settings \"" + settingsPath + "\""));
        Box box;
        if (f.says) {
            ASSERT_TRUE(run.AnswerBox(&box)) << "no message box within 15 s";
            EXPECT_EQ(box.caption, "Morva Host");
            EXPECT_NE(box.text.find(settingsPath), std::string::npos) << box.text;
            EXPECT_NE(box.text.find(f.says), std::string::npos) << box.text;
            EXPECT_EQ(box.text.find("leaves that file as it is") != std::string::npos,
                      f.verdict == KEPT)
                << box.text;
            EXPECT_EQ(box.text.find("set aside as\n" + settingsPath +
                                    ".bad\nand Morva Host starts "
                                    "with default settings") != std::string::npos,
                      f.verdict == SET_ASIDE)
                << box.text;
        }
        ASSERT_TRUE(run.WaitForMain());
        ASSERT_TRUE(run.WaitForToolCount(f.tools));
        EXPECT_EQ(ReadFileBytes(settingsPath + (f.verdict == SET_ASIDE ? ".bad" : "")), bytes);
        std::vector<Box> others;
        std::string about;
        ASSERT_TRUE(run.OtherBoxesOnceSettled(&others, &about)) << "the About box did not show";
        EXPECT_TRUE(others.empty()) << "one message only:\n" << Describe(others);
        EXPECT_EQ(about.find("left as it is") != std::string::npos, f.verdict == KEPT) << about;
        ExpectProportion(run.Tools()[0], f.octaves);
        PostMessageA(run.main, WM_CLOSE, 0, 0);
        if (f.quitSays) {
            ASSERT_TRUE(run.AnswerBox(&box));
            EXPECT_NE(box.text.find("cannot be saved to\n" + settingsPath), std::string::npos)
                << box.text;
        }
        ASSERT_EQ(run.WaitForExit(), 0u) << "quitting asks nothing";
        std::vector<uint8_t> after = ReadFileBytes(settingsPath);
        HostSettings saved;
        if (f.verdict == KEPT) {
            EXPECT_EQ(after, bytes) << "byte for byte as it was";
        } else {
            ASSERT_EQ(DecodeSettings(after.data(), after.size(), &saved), SETTINGS_OK);
            EXPECT_EQ(after[4], SETTINGS_VERSION);
            EXPECT_EQ(HostVersionText(saved.writer), MORVA_VERSION);
            ASSERT_EQ(saved.tools.size(), f.tools);
            EXPECT_EQ(BlockOf(saved.tools.back()).octaves, f.octaves);
        }
        EXPECT_EQ(ReadFileBytes(settingsPath + ".bad") == bytes, f.verdict == SET_ASIDE);
        SetFileAttributesA(settingsPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(settingsPath.c_str());
        DeleteFileA((settingsPath + ".bad").c_str());
    }
}

// The host's settings code runs inside this program too, which patches its
// own imports so that the host's file calls can be made to fail or to stop.
// X(call, result, failure, what a lasting failure does, what a passing one
// does, parameters, arguments)
#define HOST_FILE_CALLS(X)                                                                       \
    X(CreateFileW, HANDLE, INVALID_HANDLE_VALUE, Fail(INVALID_HANDLE_VALUE, ERROR_NOT_READY),    \
      a == GENERIC_READ && !(s & FILE_SHARE_READ) ? HELD : WAITED,                               \
      (LPCWSTR n, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE t),       \
      (n, a, s, sa, d, f, t))                                                                    \
    X(GetFileSize, DWORD, INVALID_FILE_SIZE, Fail(INVALID_FILE_SIZE, ERROR_NOT_READY), ALIKE,    \
      (HANDLE h, LPDWORD high), (h, high))                                                       \
    X(ReadFile, BOOL, FALSE, Fail(FALSE, ERROR_READ_FAULT), WAITED,                              \
      (HANDLE h, LPVOID b, DWORD n, LPDWORD r, LPOVERLAPPED o), (h, b, n, r, o))                 \
    /* A short write the system calls a success. */                                              \
    X(WriteFile, BOOL, FALSE, real_WriteFile(h, b, n / 2, w, o), ALIKE,                          \
      (HANDLE h, LPCVOID b, DWORD n, LPDWORD w, LPOVERLAPPED o), (h, b, n, w, o))                \
    /* What was not flushed, a power cut takes. */                                               \
    X(FlushFileBuffers, BOOL, FALSE,                                                             \
      (SetFilePointer(h, 0, nullptr, FILE_BEGIN), SetEndOfFile(h),                               \
       Fail(FALSE, ERROR_WRITE_FAULT)),                                                          \
      CUTS, (HANDLE h), (h))                                                                     \
    /* Closed, but a write behind it failed. */                                                  \
    X(CloseHandle, BOOL, FALSE,                                                                  \
      (fileSweep.open.erase(h), Fail(real_CloseHandle(h) && false, ERROR_WRITE_FAULT)), ALIKE,   \
      (HANDLE h), (h))                                                                           \
    X(MoveFileExW, BOOL, FALSE, Fail(FALSE, ERROR_WRITE_FAULT), WAITED,                          \
      (LPCWSTR from, LPCWSTR to, DWORD f), (from, to, f))                                        \
    /* The old file moved to the copy's name, the new one not in. */                             \
    X(ReplaceFileW, BOOL, FALSE,                                                                 \
      (real_MoveFileExW(r, b, 0), Fail(FALSE, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)), WAITED,      \
      (LPCWSTR r, LPCWSTR n, LPCWSTR b, DWORD f, LPVOID x, LPVOID v), (r, n, b, f, x, v))        \
    X(DeleteFileW, BOOL, FALSE, Fail(FALSE, ERROR_WRITE_PROTECT), WAITED, (LPCWSTR n), (n))      \
    X(FindFirstFileW, HANDLE, INVALID_HANDLE_VALUE, Fail(INVALID_HANDLE_VALUE, ERROR_NOT_READY), \
      ALIKE, (LPCWSTR n, LPWIN32_FIND_DATAW d), (n, d))                                          \
    X(CreateDirectoryW, BOOL, FALSE, Fail(FALSE, ERROR_WRITE_PROTECT), ALIKE,                    \
      (LPCWSTR n, LPSECURITY_ATTRIBUTES a), (n, a))

// THEIRS: no call fails, and another host saves whole after the call.
enum FaultKind { LASTING, PASSING, CRASH, THEIRS };
// A passing failure (a sharing violation) of a call the host waits out fails
// it once; of a read that lets no other reader in, it says a writer holds the
// file; one the host must not wait out does the lasting failure's harm; for
// the rest it would repeat the lasting failure's run, and none is made.
enum Passing { WAITED, HELD, CUTS, ALIKE };
struct FileSweep {
    bool armed;
    int calls;      // since armed
    int failing;    // the call that fails, from 1; 0 for none
    int meanwhile;  // the call after which another host saves whole, from 1; 0 for none
    FaultKind kind;
    bool retried;                  // the failing call is one the host waits out
    bool dead;                     // the process stopped: no call does anything now
    std::string trace;             // the calls of a run with none failing
    std::vector<Passing> passing;  // and what a passing failure of each is
    std::set<HANDLE> open;
} fileSweep;

template <typename R>
R Fail(R result, DWORD error)
{
    SetLastError(error);
    return result;
}

// How a call shows in a clean run's trace: opens and moves with their flags.
using OpenArgs = std::tuple<LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE>;
template <typename Args>
std::string Traced(const char* call, const Args&)
{
    return std::string(" ") + call;
}
std::string Traced(const char*, const OpenArgs& a)
{
    char text[64];
    snprintf(text, sizeof text, " open(%lx,%lx,%lx)", std::get<1>(a), std::get<2>(a),
             std::get<4>(a));
    return text;
}
std::string Traced(const char* call, const std::tuple<LPCWSTR, LPCWSTR, DWORD>& a)
{
    return std::string(" ") + call + "(" + std::to_string(std::get<2>(a)) + ")";
}
void AnotherHostSaves();

#define AS_WRAPPER(call, result, failure, lasting, onPassing, params, args)         \
    decltype(&call) real_##call;                                                    \
    result WINAPI Sweep_##call params                                               \
    {                                                                               \
        FileSweep& fs = fileSweep;                                                  \
        const Passing pass = (onPassing);                                           \
        if (fs.armed && fs.dead) {                                                  \
            return Fail(failure, ERROR_NOT_READY);                                  \
        }                                                                           \
        HANDLE first = (HANDLE)(INT_PTR)std::get<0>(std::make_tuple args);          \
        if (!strcmp(#call, "CloseHandle") && !fs.open.count(first)) {               \
            return real_##call args; /* not a file's: a process's */                \
        }                                                                           \
        bool now = fs.armed && ++fs.calls == fs.failing;                            \
        if (fs.armed && !fs.failing) {                                              \
            fs.trace += Traced(#call, std::make_tuple args);                        \
            fs.passing.push_back(pass);                                             \
        }                                                                           \
        if (now && fs.kind == PASSING && pass <= HELD) {                            \
            fs.retried = pass == WAITED;                                            \
            return Fail(failure, ERROR_SHARING_VIOLATION);                          \
        }                                                                           \
        if (now && fs.kind != CRASH) {                                              \
            result harm = lasting;                                                  \
            return fs.kind == PASSING ? Fail(harm, ERROR_SHARING_VIOLATION) : harm; \
        }                                                                           \
        result done = real_##call args;                                             \
        DWORD error = GetLastError();                                               \
        if (fs.armed && !strcmp(#call, "CreateFileW") && done != failure) {         \
            fs.open.insert((HANDLE)(INT_PTR)done);                                  \
        } else if (!strcmp(#call, "CloseHandle")) {                                 \
            fs.open.erase(first);                                                   \
        }                                                                           \
        fs.dead = now;                                                              \
        if (fs.armed && fs.calls == fs.meanwhile) {                                 \
            AnotherHostSaves();                                                     \
        }                                                                           \
        SetLastError(error);                                                        \
        return done;                                                                \
    }
HOST_FILE_CALLS(AS_WRAPPER)
#undef AS_WRAPPER

std::vector<uint8_t> VersionTwoFile()
{
    std::vector<uint8_t> b = GoodFile();
    b[4] = 2;
    uint32_t crc = Crc32(b.data() + 16, b.size() - 16);
    memcpy(&b[12], &crc, 4);
    return b;
}

// Another host's save (three tools), and one running beside the sweep's (four).
template <size_t N>
std::vector<uint8_t> ToolsFile()
{
    HostSettings s = {};
    s.tools.resize(N);
    return EncodeSettings(s);
}

// Another host's whole save, made around the sweep's hooks.
bool theirsLanded;
void AnotherHostSaves()
{
    std::wstring path = Wide(host.settingsPath);
    WriteBytes(host.settingsPath + ".other", ToolsFile<4>());
    theirsLanded =
        real_MoveFileExW((path + L".other").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) ||
        (real_DeleteFileW((path + L".other").c_str()) && false);
}

// A file beside the settings file at the start, and what becomes of it.
// Another's stays byte for byte as it was; a newer host's too, and is named
// at the start; the host's is of no use once the file is whole (it may now be
// a .kept one), and a dead host's whole save once the file holds it.
enum Fate { STAYS, NEWER, GONE, WHOLE };
struct Beside {
    const char* name;
    std::vector<uint8_t> (*make)();
    Fate fate;
};
// Process numbers no process has: their temporary files are a dead host's.
// Twenty digits wrap a 64-bit number to such a one (4294967292), and 123 is
// not a multiple of four, named with a zero before as the host never does.
// The living one is held open as a running host holds its temporary file,
// though others may delete it: only its being open keeps it, whatever its
// number. The host numbers its ended files from 2, with no zero before.
const char livingTemp[] = "morvahost.settings.1001.tmp";
const Beside kForeign[] = {
    {"morvahost.settings2.ended", GoodFile, STAYS},
    {"morvahost.settings.9999999999.tmp", GoodFile, STAYS},
    {"morvahost.settings.18446744078004518908.tmp", GoodFile, STAYS},
    {"morvahost.settings.100.ended", GoodFile, STAYS},
    {"morvahost.settings.1.ended", GoodFile, STAYS},
    {"morvahost.settings.02.ended", GoodFile, STAYS},
    {"morvahost.settings.0123.tmp", GoodFile, STAYS},
    {livingTemp, GoodFile, STAYS},
    {"morvahost.settings.backup.77.tmp", GoodFile, STAYS},
    {"morvahost.settings.4294967284.tmp", NotOurs, STAYS},
    {"morvahost.settings.ended.txt", GoodFile, STAYS},
    {"agenda.ended", NotOurs, STAYS},
};
const std::vector<Beside> kEarlierBad = {{"morvahost.settings.bad", NotOurs, STAYS}};
const std::vector<Beside> kDeadSaves = {
    {"morvahost.settings.4294967292.tmp", ToolsFile<3>, WHOLE},
    {"morvahost.settings.4294967288.tmp", CutShort, GONE},
    {"morvahost.settings.tmp", CutShort, GONE},
};
const std::vector<Beside> kEnded = {{"morvahost.settings.ended", ToolsFile<3>, GONE}};
const std::vector<Beside> kNotOurs = {{"morvahost.settings", NotOurs, STAYS}};
// Where a file is not replaced in one step (FAT), a save cut between its
// two leaves no settings file, its temporary file the only whole copy.
const std::vector<Beside> kCutOnFat = {
    {"morvahost.settings.4294967276.tmp", ToolsFile<3>, WHOLE},
    {"morvahost.settings.4294967272.tmp", NewerFile, NEWER},
};

// Where a sweep run starts from: the file, the settings a reader must find
// if no save is made, the copy the host must keep of the file when it goes,
// when the save is made and how often, the answer to the question, whether
// the program's folder is missing (the settings file then goes to the
// application data), the load's and the save's calls when none fails, and
// what is beside the file.
struct SweepStart {
    const char* name;
    std::vector<uint8_t> (*make)();   // null: no file yet
    std::vector<uint8_t> (*holds)();  // null: the file as made
    const char* copy;                 // after the settings file's name
    SaveOccasion occasion;
    int saves;
    bool yes;
    bool noFolder;
    const char* load;
    const char* save;
    const std::vector<Beside>* beside;  // null: nothing of its own
};

#define READ_CALLS " open(80000000,5,3) GetFileSize ReadFile CloseHandle"
#define NO_FILE " open(80000000,5,3)"
#define TEMP_CALLS " open(40000000,0,2) WriteFile FlushFileBuffers CloseHandle"
#define OWN_FILE READ_CALLS TEMP_CALLS READ_CALLS " ReplaceFileW" READ_CALLS " DeleteFileW"
// The load: the place chosen, the file read, then what is beside it, each
// file opened unshared (the running host's cannot be) and read.
#define PLACED NO_FILE NO_FILE " open(40010000,0,1)"
#define FOUND NO_FILE " CloseHandle" READ_CALLS
#define BESIDE " FindFirstFileW open(80000000,4,3)"
#define UNSHARED " open(80000000,4,3) GetFileSize ReadFile"
#define WRITABLE " open(40000000,7,3) CloseHandle open(40010000,0,1) CloseHandle"
const SweepStart kSweepStarts[] = {
    {"no file yet", nullptr, nullptr, nullptr, SAVE_BY_USER, 1, true, false,
     PLACED " CloseHandle" NO_FILE BESIDE UNSHARED " CloseHandle" BESIDE UNSHARED " CloseHandle",
     NO_FILE TEMP_CALLS NO_FILE " MoveFileExW(8)", nullptr},
    {"a version 2 file", VersionTwoFile, nullptr, ".version-2", SAVE_BY_USER, 1, false, false,
     FOUND BESIDE UNSHARED " CloseHandle" WRITABLE,
     READ_CALLS TEMP_CALLS READ_CALLS " ReplaceFileW", nullptr},
    {"a damaged file beside an earlier one", BadChecksum, nullptr, ".2.bad", SAVE_BY_USER, 1, true,
     false,
     FOUND " MoveFileExW(8) MoveFileExW(8)" BESIDE UNSHARED " CloseHandle" BESIDE UNSHARED
           " CloseHandle",
     NO_FILE TEMP_CALLS NO_FILE " MoveFileExW(8)", &kEarlierBad},
    {"dead hosts' saves, the file damaged", BadChecksum, ToolsFile<3>, ".bad", SAVE_BY_USER, 1,
     true, false,
     FOUND " MoveFileExW(8)" BESIDE UNSHARED UNSHARED UNSHARED UNSHARED
           " MoveFileExW(8) CloseHandle CloseHandle CloseHandle CloseHandle" BESIDE UNSHARED
               UNSHARED UNSHARED
           " DeleteFileW DeleteFileW CloseHandle CloseHandle CloseHandle" WRITABLE,
     OWN_FILE, &kDeadSaves},
    {"a whole file and an ended session's, the session ending twice", GoodFile, nullptr, nullptr,
     SAVE_AT_SESSION_END, 2, true, false,
     FOUND BESIDE UNSHARED UNSHARED " MoveFileExW(8) CloseHandle CloseHandle" WRITABLE,
     OWN_FILE OWN_FILE, &kEnded},
    {"another program's file at the settings path", nullptr, NotOurs, nullptr, SAVE_BY_USER, 1,
     true, false, FOUND, "", &kNotOurs},
    {"a save cut on FAT beside a newer host's", nullptr, ToolsFile<3>, nullptr, SAVE_BY_USER, 1,
     true, false,
     PLACED " CloseHandle" NO_FILE BESIDE UNSHARED UNSHARED UNSHARED
            " MoveFileExW(8) CloseHandle CloseHandle CloseHandle" BESIDE UNSHARED UNSHARED
            " CloseHandle CloseHandle" WRITABLE,
     OWN_FILE, &kCutOnFat},
    {"no program folder", nullptr, nullptr, nullptr, SAVE_BY_USER, 1, false, true,
     PLACED " CreateDirectoryW" NO_FILE BESIDE UNSHARED " CloseHandle" BESIDE UNSHARED
            " CloseHandle",
     NO_FILE, nullptr},
};

std::vector<std::string> told;  // what the host told or asked its user
bool answerYes;                 // the user's answer to a question
bool saidNo;                    // the user was asked and said No
void TellSweep(const std::string& text, UINT)
{
    told.push_back(text);
}
bool ConfirmSweep(const std::string& question)
{
    told.push_back(question);
    saidNo = saidNo || !answerYes;
    return answerYes;
}

class HostFileSweep : public ::testing::Test {
protected:
    void SetUp() override
    {
        HMODULE self = GetModuleHandleW(nullptr);
#define AS_HOOK(call, ...) Watch(self, "kernel32.dll", #call, &real_##call, &Sweep_##call);
        HOST_FILE_CALLS(AS_HOOK)
#undef AS_HOOK
        hostHooks.tell = TellSweep;
        hostHooks.confirm = ConfirmSweep;
        root = TempPath("sweep") + "\\";
        CreateDirectoryW(Wide(root).c_str(), nullptr);
        program = root + "program\\";
        data = root + "data\\";
    }

    void TearDown() override
    {
        fileSweep = {};
        for (const std::string& folder : {program, data, root}) {
            Empty(folder);
            RemoveDirectoryW(Wide(folder).c_str());
        }
    }

    static void Empty(const std::string& folder, const std::set<std::string>& but = {})
    {
        for (const std::string& name : Names(folder)) {
            if (!but.count(name)) {
                DeleteFileW(Wide(folder + name).c_str());
            }
        }
        CreateDirectoryW(Wide(folder).c_str(), nullptr);
    }

    // A file beside the settings file is written with a date no save can
    // give a file, and is as written while its bytes and date are. The
    // foreign ones stay from run to run, and are written again only when a
    // run has touched them.
    static constexpr FILETIME kBesideDate = {0xC89DC000, 0x01C07385};  // 1 January 2001
    static bool AsWritten(const std::string& path, const Beside& b)
    {
        WIN32_FILE_ATTRIBUTE_DATA file;
        return GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &file) &&
               CompareFileTime(&file.ftLastWriteTime, &kBesideDate) == 0 &&
               ReadFileBytes(path) == b.make();
    }
    static void Write(const std::string& path, const Beside& b)
    {
        WriteBytes(path, b.make());
        HANDLE file = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        SetFileTime(file, nullptr, nullptr, &kBesideDate);
        CloseHandle(file);
    }

    // One run: a host loads and saves, `kind` striking call `n` of the
    // load (phase 0) or the saves (phase 1). Returns the first fault.
    std::string Run(const SweepStart& start, int phase, FaultKind kind, int n)
    {
        const int failing = kind == THEIRS ? 0 : n, meanwhile = kind == THEIRS ? n : 0;
        // The settings file and the files beside it are in its home folder.
        const std::string home = start.noFolder ? data : program;
        std::set<std::string> foreign;
        for (const Beside& b : kForeign) {
            foreign.insert(b.name);
        }
        Empty(start.noFolder ? program : data);
        Empty(home, foreign);
        const std::vector<uint8_t> old = start.make ? start.make() : std::vector<uint8_t>();
        const std::vector<uint8_t> holds = start.holds ? start.holds() : old;
        if (start.make) {
            WriteBytes(home + "morvahost.settings", old);
        }
        std::vector<Beside> beside(std::begin(kForeign), std::end(kForeign));
        if (start.beside) {
            beside.insert(beside.end(), start.beside->begin(), start.beside->end());
        }
        for (const Beside& b : beside) {
            if (!AsWritten(home + b.name, b)) {
                Write(home + b.name, b);
            }
        }
        if (start.noFolder) {
            RemoveDirectoryW(Wide(program).c_str());
        }
        HANDLE held =
            CreateFileW(Wide(home + livingTemp).c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        told.clear();
        answerYes = start.yes;
        saidNo = false;
        fileSweep = {};
        fileSweep.failing = failing;
        fileSweep.meanwhile = meanwhile;
        fileSweep.kind = kind;
        theirsLanded = false;
        bool fromFile = false;
        std::string place, problem;
        size_t toldBeforeSave = 0;
        HostSettings session;
        for (int step = 0; step <= start.saves && !fileSweep.dead; step++) {
            fileSweep.armed = (step > 0) == (phase > 0);
            if (step == 0) {
                host = HostState{};
                host.settingsPath = ChooseSettingsPath(program, data, &place);
                session = LoadHostSettings(&fromFile, &problem);
                session.layout = {40, 30, 640, 480, 0};  // the session moves its window
                session.writer = kThisHost;
                toldBeforeSave = told.size();
            } else {
                SaveHostSettings(session, start.occasion);
            }
            fileSweep.armed = false;
        }
        counted = fileSweep.calls;
        std::string fault = fileSweep.open.empty() || kind == CRASH ? "" : "a file left open";
        if (start.occasion == SAVE_AT_SESSION_END && told.size() > toldBeforeSave) {
            fault = "a box as the session ended: " + told.back();
        }
        std::set<HANDLE> open;
        open.swap(fileSweep.open);
        for (HANDLE h : open) {
            CloseHandle(h);  // as the system does when a process ends
        }
        if (!problem.empty()) {
            told.push_back(problem);
        }
        // What the stopped or failed host left, before anyone cleans.
        auto there = [](const std::string& path) {
            return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
        };
        if (kind != CRASH && there(TemporaryName(host.settingsPath))) {
            fault = "its own temporary file left";
        }
        for (const Beside& b : beside) {
            if (!failing && !meanwhile && b.fate >= GONE && there(home + b.name)) {
                fault = std::string("a clean run left ") + b.name;
            }
        }
        // A fresh host reads what is there; a stopped save's whole new file
        // stays until the settings file holds it.
        const std::vector<uint8_t> stopped = ReadFileBytes(TemporaryName(host.settingsPath));
        HostSettings unused;
        bool wholeStopped = DecodeSettings(stopped.data(), stopped.size(), &unused) == SETTINGS_OK;
        host = HostState{};
        host.settingsPath = ChooseSettingsPath(program, data, &place);
        problem.clear();
        LoadHostSettings(&fromFile, &problem);
        CloseHandle(held);
        if (start.occasion == SAVE_AT_SESSION_END && !problem.empty()) {
            told.push_back(problem);
        }
        std::vector<uint8_t> now = ReadFileBytes(host.settingsPath);
        if (wholeStopped && now != stopped && !there(TemporaryName(host.settingsPath))) {
            fault = "a stopped save's whole new file was removed";
        }
        bool isNew = now == EncodeSettings(session);
        cleanNow = n ? cleanNow : now;
        // The settings a dead host saved whole are the user's until the
        // file holds them, or what this session made of them.
        HostSettings them = {};
        DecodeSettings(holds.data(), holds.size(), &them);
        them.layout = session.layout;
        them.writer = kThisHost;
        bool holdsThem = now == holds || now == EncodeSettings(them);
        for (const Beside& b : beside) {
            if (b.fate <= NEWER && !AsWritten(home + b.name, b)) {
                foreignTouched++;
                fault = std::string("touched ") + b.name;
            } else if (b.fate == NEWER && host.settingsPath == home + "morvahost.settings" &&
                       (problem.find(home + b.name) == std::string::npos ||
                        problem.find(home + b.name) != problem.rfind(home + b.name))) {
                fault = std::string("the start did not name once ") + b.name;
            } else if (b.fate >= GONE && there(home + b.name) && (b.fate == GONE || holdsThem)) {
                fault = std::string("a start left ") + b.name;
            } else if (b.fate == WHOLE && !meanwhile && !there(home + b.name) && !holdsThem) {
                fault = std::string("the only whole copy went: ") + b.name;
            }
        }
        std::vector<std::string> left;
        for (const char* folder : {"program\\", "data\\"}) {
            for (const std::string& name : Names(root + folder)) {
                left.push_back(folder + name);
            }
        }
        std::string settingsName = host.settingsPath.substr(root.size());
        for (const std::string& name : left) {
            bool known = name == settingsName;
            for (const Beside& b : beside) {
                known = known || home + b.name == root + name;
            }
            // A stopped save's whole new file may be the only copy: it stays.
            known = known || (kind == CRASH && name == TemporaryName(settingsName));
            for (const char* copy : {start.copy, ".kept", ".2.kept", ".replaced"}) {
                known = known || (copy && name == settingsName + copy);
            }
            if (!known) {
                fault = "left behind: " + name;
            }
        }
        // Only a damaged file may be gone, set aside.
        bool setAside = start.copy && strstr(start.copy, ".bad") && !start.holds && now.empty();
        if (meanwhile) {
            if (!isNew && now != (theirsLanded ? ToolsFile<4>() : old)) {
                fault = "the file holds neither host's settings whole";
            } else if (isNew && theirsLanded &&
                       ReadFileBytes(host.settingsPath + ".replaced") != ToolsFile<4>() &&
                       ReadFileBytes(host.settingsPath + (start.copy ? start.copy : "")) !=
                           ToolsFile<4>()) {
                fault = "another host's save was replaced and not kept";
            }
        } else if (!isNew && now != old && now != holds && !setAside) {
            fault = "the file holds neither the old nor the new settings";
        } else if (start.copy && now != old &&
                   ReadFileBytes(home + "morvahost.settings" + start.copy) != old) {
            fault = "the old file was not kept";
        } else if (kind != CRASH && !isNew && told.empty()) {
            fault = "the save did not happen and nobody was told";
        } else if (kind == PASSING && fileSweep.retried && now != cleanNow) {
            fault = "a passing failure was not waited out";
        }
        if (saidNo && isNew) {
            fault = "saved over the file after the user said No";
        }
        for (const std::string& text : told) {
            if (text.find("(error 0)") != std::string::npos) {
                fault = "told of no error: " + text;
            }
        }
        return fault;
    }

    static std::vector<std::string> Names(const std::string& folder)
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW(Wide(folder + "*").c_str(), &found);
        while (find != INVALID_HANDLE_VALUE) {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                names.push_back(Utf8(found.cFileName));
            }
            if (!FindNextFileW(find, &found)) {
                FindClose(find);
                break;
            }
        }
        return names;
    }

    const uint32_t kThisHost =
        PackHostVersion(MORVA_VERSION_MAJOR, MORVA_VERSION_MINOR, MORVA_VERSION_PATCH);
    std::string root, program, data;
    int counted = 0;
    std::vector<uint8_t> cleanNow;  // what the clean run left in the file
    int foreignTouched = 0;
};

TEST_F(HostFileSweep, EveryFileCallFailingOrStoppingLeavesTheOldOrTheNewSettings)
{
    // Runs not made, as equal to another: a passing failure that does what
    // the lasting one does; a stop after a call that leaves the disk as it
    // was, as the stop one call before (the saves' first: the load's last;
    // their last: the clean run); another host's save after a call on a
    // file already open or on this host's temporary file, as one call
    // before, and after the saves' last call, as only theirs.
    const std::string diskAsItWas =
        " GetFileSize ReadFile FlushFileBuffers CloseHandle "
        "FindFirstFileW open(80000000,5,3) open(80000000,4,3) "
        "open(40000000,7,3) ";
    const std::string notOnTheFile =
        " GetFileSize ReadFile WriteFile FlushFileBuffers open(40000000,0,2) ";
    int calls = 0, runs = 0, dropped = 0, lost = 0;
    for (const SweepStart& start : kSweepStarts) {
        for (int phase = 0; phase < 2; phase++) {
            EXPECT_EQ(Run(start, phase, LASTING, 0), "") << start.name << ", nothing failing";
            int count = counted;
            calls += count;
            EXPECT_EQ(fileSweep.trace, phase ? start.save : start.load)
                << start.name << (phase ? ": the saves' calls" : ": the load's calls");
            std::istringstream traced(fileSweep.trace);
            std::vector<std::string> names{std::istream_iterator<std::string>(traced), {}};
            std::vector<Passing> passing = fileSweep.passing;
            for (FaultKind kind : {LASTING, PASSING, CRASH, THEIRS}) {
                for (int n = 1; n <= count && (phase || kind != THEIRS); n++) {
                    auto in = [&](const std::string& list) {
                        return list.find(" " + names[n - 1] + " ") != std::string::npos;
                    };
                    bool last = phase && n == count;
                    if (kind == PASSING  ? passing[n - 1] == ALIKE
                        : kind == CRASH  ? (in(diskAsItWas) && (phase || n > 1)) || last
                        : kind == THEIRS ? in(notOnTheFile) || last
                                         : false) {
                        dropped++;
                        continue;
                    }
                    runs++;
                    std::string fault = Run(start, phase, kind, n);
                    lost += !fault.empty();
                    EXPECT_EQ(fault, "") << start.name << (phase ? ", saves" : ", load") << " call "
                                         << n << " of " << count << ", fault kind " << kind;
                }
            }
        }
    }
    printf(
        "host file sweep: %d calls, %d runs (%d dropped as equal to another), %d lost, %d "
        "foreign files touched\n",
        calls, runs, dropped, lost, foreignTouched);
}

// Another host saves to the file while this one runs; this one then saves.
struct Meanwhile {
    const char* name;
    bool newer;             // the other host is a newer one
    SaveOccasion occasion;  // when this one saves
    bool answer;            // to the question, if it is asked
    const char* keptAs;     // null: this host's settings are in the file, or nowhere
    const char* says;       // at that save or at the next start
    const char* copied;     // where the other host's file is kept, if it is replaced
    bool held;              // instead, another program holds the file open
};

const Meanwhile kMeanwhile[] = {
    {"quit, replacing", false, SAVE_BY_USER, true, nullptr, "Yes: this host's panel", ".version-2",
     false},
    {"quit, not replacing", false, SAVE_BY_USER, false, nullptr, "No: the file stays as it is",
     nullptr, false},
    {"the session's end", false, SAVE_AT_SESSION_END, true, ".kept", "When Windows ended", nullptr,
     false},
    {"a newer host", true, SAVE_BY_USER, true, ".kept", "while this one ran", nullptr, false},
    {"held as the session ends", false, SAVE_AT_SESSION_END, true, ".kept", "could not go to",
     nullptr, true},
};

const auto kAskInABox = hostHooks.confirm;  // No is answered there, by Enter
bool answer;
bool AnswerQuestion(const std::string& question)
{
    told.push_back(question);
    return answer || kAskInABox(question);
}

TEST_F(HostFileSweep, AnotherHostsSaveIsNeverReplacedUnasked)
{
    hostHooks.confirm = AnswerQuestion;
    StartCatchingDialogs();
    SetDialogInspector([](HWND box) { PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0); });
    Empty(program);
    const std::string path = program + "morvahost.settings";
    const std::vector<uint8_t> ours = EncodeSettings(HostSettings{{}, {}, kThisHost});
    for (const Meanwhile& m : kMeanwhile) {
        SCOPED_TRACE(m.name);
        WriteBytes(path, GoodFile());
        host = HostState{};
        host.settingsPath = path;
        told.clear();
        bool fromFile = false;
        std::string problem;
        LoadHostSettings(&fromFile, &problem);
        std::vector<uint8_t> theirs = m.held    ? GoodFile()
                                      : m.newer ? NewerFile()
                                                : VersionTwoFile();
        WriteBytes(path, theirs);
        HANDLE held = m.held ? CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                           nullptr, OPEN_EXISTING, 0, nullptr)
                             : INVALID_HANDLE_VALUE;
        answer = m.answer;
        EXPECT_EQ(SaveHostSettings(HostSettings{}, m.occasion),
                  m.answer ? SAVE_DONE : SAVE_NOT_MADE);
        if (m.keptAs && m.occasion == SAVE_BY_USER) {
            // Later saves of the session go to the file kept apart, told once.
            size_t toldOnce = told.size();
            EXPECT_EQ(SaveHostSettings(HostSettings{}, m.occasion), SAVE_DONE);
            EXPECT_EQ(told.size(), toldOnce) << told.back();
            EXPECT_EQ(GetFileAttributesW(Wide(path + ".2.kept").c_str()), INVALID_FILE_ATTRIBUTES);
        }
        if (m.held) {
            CloseHandle(held);
        }
        EXPECT_EQ(ReadFileBytes(path), m.answer && !m.keptAs ? ours : theirs);
        host = HostState{};  // the next start
        host.settingsPath = path;
        LoadHostSettings(&fromFile, &problem);
        std::string all = std::accumulate(told.begin(), told.end(), problem);
        EXPECT_NE(all.find(m.says), std::string::npos) << all;
        if (m.keptAs) {
            EXPECT_EQ(ReadFileBytes(path + m.keptAs), ours);
        }
        if (m.copied) {
            EXPECT_EQ(ReadFileBytes(path + m.copied), theirs);
        }
        Empty(program);
    }
    StopCatchingDialogs();
}

// Where the host keeps its settings when none are named: a copy of the host,
// the module and the winmm double in a folder whose name lies outside the
// system's code page, which takes new files. (A folder that does not, and a
// file found in the application data, are the file sweep's.)
TEST(HostSettingsFile, SettingsLiveBesideTheProgramWhereItsFolderTakesFiles)
{
    wchar_t data[MAX_PATH] = L"";
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data), S_OK);
    // One there is found where the program's folder has none (this program's has none).
    std::string found = Utf8(data) + "\\Morva\\morvahost.settings", place;
    CreateDirectoryW(Wide(Utf8(data) + "\\Morva").c_str(), nullptr);
    WriteBytes(found, GoodFile());
    EXPECT_EQ(DefaultSettingsPath(&place), found) << place;
    DeleteFileW(Wide(found).c_str());
    std::string folder = TempPath("\xce\xa9mega") + "\\";  // "Ωmega"
    // A run of another process of this number may have left it.
    ASSERT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    for (const char* file : {"morvahost.exe", "morva.dll", "winmm.dll"}) {
        ASSERT_TRUE(
            CopyFileW(Wide(ExeFolder() + file).c_str(), Wide(folder + file).c_str(), FALSE));
    }
    std::string settingsPath = folder + "morvahost.settings";
    DeleteFileW(Wide(settingsPath).c_str());
    HostRun run;
    ASSERT_TRUE(run.Start("", folder));
    ASSERT_TRUE(run.WaitForMain());
    ASSERT_TRUE(run.WaitForToolCount(1)) << "the module beside the copy serves";
    EXPECT_NE(GetClassLongPtrW(run.main, GCLP_HICON),
              reinterpret_cast<ULONG_PTR>(LoadIconA(nullptr, IDI_APPLICATION)));
    run.Menu(kAddTool);
    std::vector<Box> others;
    std::string about;
    ASSERT_TRUE(run.OtherBoxesOnceSettled(&others, &about));
    EXPECT_TRUE(others.empty()) << Describe(others);
    EXPECT_NE(about.find("Settings: " + settingsPath + "\n(beside the program)"), std::string::npos)
        << about;
    ASSERT_EQ(run.Quit(), 0u);
    HostSettings saved;
    std::vector<uint8_t> bytes = ReadFileBytes(settingsPath);
    ASSERT_EQ(DecodeSettings(bytes.data(), bytes.size(), &saved), SETTINGS_OK);
    EXPECT_EQ(saved.tools.size(), 2u);
    for (const char* file : {"morvahost.exe", "morva.dll", "winmm.dll", "morvahost.settings"}) {
        DeleteFileW(Wide(folder + file).c_str());
    }
    EXPECT_TRUE(RemoveDirectoryW(Wide(folder).c_str())) << "nothing else was left there";
}

// The command line's own answers, and modules that cannot serve: one box,
// and the host quits with the code of its kind, having saved nothing.
struct OneBox {
    const char* name;
    std::string arguments;
    std::string says;
    DWORD exitCode;
};

TEST(HostCommandLine, AnswersAndModulesThatCannotServeAreOneBoxAndTheHostQuits)
{
    const std::string settingsPath = TempPath("unused.settings");
    const std::string settings = "--settings \"" + settingsPath + "\" \"" + ExeFolder();
    const OneBox boxes[] = {
        {"version", "--version", std::string("Morva Host ") + MORVA_VERSION, 0},
        {"help", "--help", "Settings: " + ExeFolder() + "morvahost.settings\n(beside the program)",
         0},
        // The winmm double loads but has none of the entry points.
        {"no exports", settings + "winmm.dll\"",
         ExeFolder() + "winmm.dll\ndoes not export EnumeratePanelTypes", 4},
        {"no file", settings + "no-such-module.dll\"",
         "could not load the module\n" + ExeFolder() + "no-such-module.dll", 3},
        // Reports a type, but not the functions it names.
        {"reported names missing", settings + "host_fake_module.dll\"",
         ExeFolder() + "host_fake_module.dll\nreports the entry point \"InitFakeType\" but does "
                       "not export it",
         4},
    };
    for (const OneBox& b : boxes) {
        SCOPED_TRACE(b.name);
        HostRun run;
        ASSERT_TRUE(run.Start(b.arguments));
        Box box;
        ASSERT_TRUE(run.AnswerBox(&box)) << "no message box within 15 s";
        EXPECT_EQ(box.caption, "Morva Host");
        EXPECT_NE(box.text.find(b.says), std::string::npos) << box.text;
        EXPECT_EQ(run.WaitForExit(), b.exitCode);
        EXPECT_EQ(GetFileAttributesA(settingsPath.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

// The host's window side in this program, its drawing objects on the ledger
// and its boxes caught: a place saved on no screen, three tools fitted once a
// fourth is removed, in the first and the smallest window, then narrowed, the
// sheets of two, a move to other dots per inch, the panel filled, and a quit
// with a sheet open. Also run at 120 dpi, where every size given for 96 grows.
const HostHooks kHostBoxes = hostHooks;
TEST(HostWindow, ToolsFitEachSheetIsItsOwnToolsAndEveryObjectIsGivenBack)
{
    host = HostState{};
    host.instance = GetModuleHandleW(nullptr);
    host.settingsPath = TempPath("window.settings");
    hostHooks = kHostBoxes;
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(FolderOf("C:/x/a.settings"), "C:/x/") << "a path written with forward slashes";
    WriteBytes(host.settingsPath, EncodeSettings(HostSettings{{-30000, -30000, 500, 300, 0}, {}}));
    StartObjectLedger(host.instance);
    StartCatchingDialogs();  // the host's, and the module's: a voice applied with no device open
    ASSERT_EQ(OpenHost(ExeFolder() + "morva.dll", false), HOST_EXIT_OK);
    RECT first;
    GetWindowRect(host.mainWindow, &first);
    EXPECT_GE(first.bottom - first.top, 360 * dpi / 96) << "the saved place is on no screen";
    while (host.tools.size() < 4 && AddTool(nullptr)) {
    }
    SendMessageA(host.mainWindow, WM_COMMAND, IDM_HOST_REMOVE_TOOL, 0);
    for (SIZE size : {SIZE{first.right - first.left, first.bottom - first.top}, SIZE{1, 1}}) {
        SetWindowPos(host.mainWindow, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        RECT client;
        GetClientRect(host.mainWindow, &client);
        MapWindowPoints(host.mainWindow, nullptr, reinterpret_cast<POINT*>(&client), 2);
        RECT was = {0, 0, 0, client.top + 44 * dpi / 96};  // the header's foot
        for (HWND tool : host.tools) {
            RECT rc, inside;
            GetWindowRect(tool, &rc);
            EXPECT_TRUE(IntersectRect(&inside, &rc, &client) && EqualRect(&inside, &rc));
            EXPECT_LE(std::abs((rc.left - client.left) - (client.right - rc.right)), 1)
                << "centred";
            EXPECT_GE(rc.top - was.bottom, 8 * dpi / 96) << "apart from what is above";
            was = rc;
        }
        EXPECT_LT(client.bottom - was.bottom, was.bottom - was.top) << "the three fill the height";
    }
    // Narrower a pixel at a time, the tools fitted to the width: most steps
    // leave their height as it was, and each tool is drawn anew all the same.
    for (int narrower : {0, 1, 2}) {
        RedrawWindow(host.mainWindow, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        SetWindowPos(host.mainWindow, nullptr, 0, 0, (first.right - first.left) / 2 - narrower,
                     first.bottom - first.top, SWP_NOMOVE | SWP_NOZORDER);
        EXPECT_TRUE(GetUpdateRect(host.tools[0], nullptr, FALSE)) << "drawn anew";
    }
    RedrawWindow(host.mainWindow, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    SendMessageA(host.mainWindow, WM_COMMAND, IDM_HOST_ADD_TOOL, 0);
    RECT at = {};
    EXPECT_TRUE(GetUpdateRect(host.mainWindow, &at, FALSE) && at.top == 0)
        << "the header's tool count is drawn anew";
    for (int i : {1, 1, 0}) {
        HWND sheet = host.sheet, shown = host.sheetTool;
        SendMessageA(host.tools[i], WM_COMMAND, MAKEWPARAM(IDM_PROPERTIES, 0), 0);
        SendMessageA(host.sheet, WM_COMMAND, IDC_SHEET_APPLY, 0);  // leaves it open
        EXPECT_EQ(host.sheetTool, host.tools[i]);
        EXPECT_EQ(host.sheet == sheet, shown == host.tools[i]) << "the same tool's brought forward";
        EXPECT_TRUE(host.sheet == sheet || !IsWindow(sheet)) << "one sheet at a time";
    }
    SendMessageA(host.panel, PNM_SHOWPROPERTIES, reinterpret_cast<WPARAM>(host.mainWindow), 0);
    SendMessageA(host.mainWindow, WM_COMMAND, IDM_HOST_REMOVE_TOOL, 0);
    EXPECT_EQ(host.sheetTool, host.tools[0]) << "kept by a request of no tool, another's removal";
    HWND apply = GetDlgItem(host.sheet, IDC_SHEET_APPLY);
    EXPECT_TRUE(IsChild(host.page, GetNextDlgTabItem(host.sheet, apply, FALSE)))
        << "Tab to the page";
    GetWindowRect(host.sheet, &at);
    SendMessageA(host.sheet, WM_DPICHANGED, MAKEWPARAM(120, 120), reinterpret_cast<LPARAM>(&at));
    GetWindowRect(apply, &at);
    EXPECT_GE(at.bottom - at.top, 24 * dpi / 96);
    while (AddTool(nullptr)) {
    }
    EXPECT_EQ(host.tools.size(), static_cast<size_t>(SETTINGS_MAX_TOOLS));
    ASSERT_FALSE(CaughtDialogs().empty());
    const CaughtDialog& full = CaughtDialogs().back();
    EXPECT_NE(full.text.find("The panel is full"), std::string::npos) << full.text;
    EXPECT_EQ(full.owner, host.mainWindow) << "modal to the host's window";
    SendMessageA(host.mainWindow, WM_CLOSE, 0, 0);
    MSG quit;  // what the closed window posted, not for the tests after this one
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    ClosePanelModule();
    ObjectLedger left = Ledger();
    EXPECT_EQ(std::make_tuple(left.gdiObjects, left.memoryDcs, left.windowDcs, left.failedDeletes,
                              left.selectedDeletes),
              std::make_tuple(0L, 0L, 0L, 0L, 0L))
        << "objects left, DCs left, window DCs left, failed deletes, deletes of selected objects";
    DeleteFileA(host.settingsPath.c_str());
}

// The capture device, loaded by path from its own folder.
// clang-format off
#define CAPTURE_CALLS(X) \
    X(midiOutGetNumDevs) X(midiInGetNumDevs) X(midiOutGetDevCapsA) X(midiInOpen) \
    X(midiOutOpen) X(midiOutClose) X(midiOutShortMsg) X(midiOutReset) X(midiOutSetVolume) \
    X(midiOutGetErrorTextA)
// clang-format on
struct Capture {
#define AS_FIELD(call) decltype(&call) call;
    CAPTURE_CALLS(AS_FIELD)
#undef AS_FIELD
};

void LoadCapture(Capture* c)
{
    HMODULE dll = LoadLibraryA((ExeFolder() + "..\\capture\\winmm.dll").c_str());
    ASSERT_NE(dll, nullptr);
#define RESOLVE(call)                                                                           \
    c->call =                                                                                   \
        reinterpret_cast<decltype(&call)>(reinterpret_cast<void*>(GetProcAddress(dll, #call))); \
    ASSERT_NE(c->call, nullptr) << #call;
    CAPTURE_CALLS(RESOLVE)
#undef RESOLVE
}

TEST(CaptureDevice, OffersOneOutputAndWritesWhatItHearsWithItsTiming)
{
    std::string midPath = TempPath("capture.mid");
    SetEnvironmentVariableA("MORVA_CAPTURE_MID", midPath.c_str());
    Capture c;
    LoadCapture(&c);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(c.midiOutGetNumDevs(), 1u);
    EXPECT_EQ(c.midiInGetNumDevs(), 0u);
    MIDIOUTCAPSA caps = {};
    ASSERT_EQ(c.midiOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Morva Capture");
    EXPECT_EQ(c.midiOutGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    HMIDIIN in = nullptr;
    EXPECT_NE(c.midiInOpen(&in, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    char text[200] = "";
    EXPECT_EQ(c.midiOutGetErrorTextA(MMSYSERR_BADDEVICEID, text, sizeof text), MMSYSERR_NOERROR);
    EXPECT_GT(strlen(text), 10u);

    HMIDIOUT out = nullptr;
    EXPECT_EQ(c.midiOutOpen(&out, 1, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    ASSERT_EQ(c.midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(c.midiOutShortMsg(reinterpret_cast<HMIDIOUT>(0x1234), 0x6E3C90),
              MMSYSERR_INVALHANDLE);
    EXPECT_EQ(c.midiOutShortMsg(out, 0x28C0), MMSYSERR_NOERROR);
    // The device stamps each message somewhere within its call; the test
    // times the calls around it, so it knows how long the note was held.
    LARGE_INTEGER beforeOn, afterOn, beforeOff, afterOff, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&beforeOn);
    EXPECT_EQ(c.midiOutShortMsg(out, 0x6E3C90), MMSYSERR_NOERROR);
    QueryPerformanceCounter(&afterOn);
    Sleep(250);
    QueryPerformanceCounter(&beforeOff);
    EXPECT_EQ(c.midiOutShortMsg(out, 0x003C90), MMSYSERR_NOERROR);
    QueryPerformanceCounter(&afterOff);
    EXPECT_EQ(c.midiOutShortMsg(out, 0x6E4090), MMSYSERR_NOERROR);
    EXPECT_EQ(c.midiOutReset(out), MMSYSERR_NOERROR);  // ends the note that still sounds
    EXPECT_EQ(c.midiOutSetVolume(out, 0xFFDCFFDC), MMSYSERR_NOERROR);
    ASSERT_EQ(c.midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(c.midiOutClose(out), MMSYSERR_INVALHANDLE);

    std::vector<TrackEvent> events = ReadTrack(ReadFileBytes(midPath));
    ASSERT_EQ(events.size(), 8u);
    EXPECT_EQ(events[0].bytes, (std::vector<uint8_t>{0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}));
    EXPECT_EQ(events[1].bytes, (std::vector<uint8_t>{0xC0, 0x28}));
    EXPECT_EQ(events[2].bytes, (std::vector<uint8_t>{0x90, 0x3C, 0x6E}));
    EXPECT_EQ(events[3].bytes, (std::vector<uint8_t>{0x90, 0x3C, 0x00}));
    // Ticks are whole milliseconds since the device opened, so the note's
    // length in ticks is within a tick of the time between the two calls.
    auto ms = [&](LARGE_INTEGER from, LARGE_INTEGER to) {
        return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 /
               static_cast<double>(frequency.QuadPart);
    };
    EXPECT_GE(events[3].delta + 1.0, ms(afterOn, beforeOff));
    EXPECT_LE(events[3].delta, ms(beforeOn, afterOff) + 1.0);
    EXPECT_EQ(events[4].bytes, (std::vector<uint8_t>{0x90, 0x40, 0x6E}));
    EXPECT_EQ(events[5].bytes, (std::vector<uint8_t>{0x90, 0x40, 0x00}));
    EXPECT_EQ(events[6].bytes[0], 0xFF);  // the device volume, as a text event
    EXPECT_EQ(std::string(events[6].bytes.begin() + 3, events[6].bytes.end()),
              "device volume 65500/65500");
    EXPECT_EQ(events[7].bytes, (std::vector<uint8_t>{0xFF, 0x2F, 0x00}));
    DeleteFileA(midPath.c_str());
}

}  // namespace
