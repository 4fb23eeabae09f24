// Keeping the panel between runs: every tool's block and the window's place,
// written to the settings file in one step so that a crash mid-save leaves
// the last good file in place.
#include <shlobj.h>

#include <cstring>

#include "host/host.h"
#include "host/options.h"

namespace {

// A real settings file is a few kilobytes; anything far larger is not one.
const DWORD kLargestFile = 1u << 20;

// Leaves the settings file as it is for this session, so that nothing is
// saved over it: `why` begins the reason kept for the About box and the Save
// command, `what` says what is wrong with the file in the warning shown at
// start.
void KeepFileAsItIs(const std::string& why, const std::string& what, std::string* problem)
{
    const std::string notSaved = "what you change in this session is not saved.";
    host.settingsKept = why + ", so it is left as it is: " + notSaved;
    *problem =
        "The settings file\n" + host.settingsPath + "\n" + what +
        "\n\nMorva Host starts with default settings and leaves that file as it is: " + notSaved;
}

// Moves a damaged file out of the way so that the next save does not
// destroy what may still be recovered from it.
std::string SetAside(const std::string& path, DWORD* error)
{
    std::string aside = path + ".bad";
    if (MoveFileExW(Wide(path).c_str(), Wide(aside).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = ERROR_SUCCESS;
        return aside;
    }
    *error = GetLastError();
    return std::string();
}

PanelLayout CurrentLayout()
{
    PanelLayout layout = {};
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    if (host.mainWindow && GetWindowPlacement(host.mainWindow, &wp)) {
        layout.left = wp.rcNormalPosition.left;
        layout.top = wp.rcNormalPosition.top;
        layout.width = wp.rcNormalPosition.right - wp.rcNormalPosition.left;
        layout.height = wp.rcNormalPosition.bottom - wp.rcNormalPosition.top;
        layout.flags =
            wp.showCmd == SW_SHOWMAXIMIZED ? static_cast<uint32_t>(LAYOUT_MAXIMIZED) : 0u;
    }
    return layout;
}

// The block is copied while the tool lives; it only lends its address.
SavedTool FetchToolState(HWND tool)
{
    SavedTool saved = {};
    const void* block = nullptr;
    LRESULT size = SendMessageA(tool, PNM_GETSTATE, 0, reinterpret_cast<LPARAM>(&block));
    if (size == TOOL_STATE_SIZE && block) {
        memcpy(saved.block, block, TOOL_STATE_SIZE);
    } else {
        SetDefaultState(reinterpret_cast<ToolStateBlock*>(saved.block));
        HostLog("tool " + std::to_string(ToolNumber(tool)) +
                " gave no settings; it is saved with defaults");
    }
    return saved;
}

// The file calls of a save. A test names one of them in MORVA_HOST_FAIL_SAVE
// (create, write, flush or replace) to have it fail as it would on a locked
// folder, a full disk, a failing disk or a file another program holds open;
// or "probe", to have the program's folder refuse new files as a folder the
// user may not write (Program Files) does.
struct SaveCalls {
    decltype(&CreateFileW) create;
    decltype(&WriteFile) write;
    decltype(&FlushFileBuffers) flush;
    decltype(&MoveFileExW) replace;
    decltype(&CreateFileW) probe;
};

HANDLE WINAPI CreateRefused(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

// Half of the bytes reach the file before the disk is full.
BOOL WINAPI WriteHalf(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                      LPOVERLAPPED overlapped)
{
    WriteFile(file, data, size / 2, written, overlapped);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

BOOL WINAPI FlushFailed(HANDLE)
{
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
}

BOOL WINAPI ReplaceRefused(LPCWSTR, LPCWSTR, DWORD)
{
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
}

// The real calls, but for the one MORVA_HOST_FAIL_SAVE names.
SaveCalls CurrentSaveCalls()
{
    SaveCalls calls = {CreateFileW, WriteFile, FlushFileBuffers, MoveFileExW, CreateFileW};
    char failing[16] = "";
    if (GetEnvironmentVariableA("MORVA_HOST_FAIL_SAVE", failing, sizeof failing) >=
        sizeof failing) {
        return calls;
    }
    if (!strcmp(failing, "create")) {
        calls.create = CreateRefused;
    } else if (!strcmp(failing, "write")) {
        calls.write = WriteHalf;
    } else if (!strcmp(failing, "flush")) {
        calls.flush = FlushFailed;
    } else if (!strcmp(failing, "replace")) {
        calls.replace = ReplaceRefused;
    } else if (!strcmp(failing, "probe")) {
        calls.probe = CreateRefused;
    }
    return calls;
}

// Whether new files can be made in the folder: a file of its own is created
// and deleted. The folder's access list would not tell what the system
// decides for this user and process (groups, elevation, the file system's
// own rules); trying does.
bool FolderTakesFiles(const std::string& folder)
{
    std::wstring probe =
        Wide(folder + "morvahost-" + std::to_string(GetCurrentProcessId()) + ".probe");
    HANDLE f = CurrentSaveCalls().probe(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(f);
    return DeleteFileW(probe.c_str()) != FALSE;
}

std::string ApplicationDataFolder()
{
    wchar_t path[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, path))) {
        return std::string();
    }
    return Utf8(path) + "\\Morva\\";
}

}  // namespace

std::string DefaultSettingsPath(std::string* place)
{
    const char kName[] = "morvahost.settings";
    std::string program = ProgramFolder();
    if (FolderTakesFiles(program)) {
        *place = "beside the program";
        return program + kName;
    }
    std::string data = ApplicationDataFolder();
    if (data.empty()) {
        *place =
            "beside the program, whose folder cannot be written; nor is there an "
            "application data folder";
        return program + kName;
    }
    *place = "in your application data, since the program's folder cannot be written";
    return data + kName;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, DWORD* error)
{
    HANDLE f = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(f, &high);
    if (high != 0 || size > kLargestFile) {
        size = kLargestFile + 1;  // read enough to know it is too long
    }
    bytes->resize(size);
    DWORD read = 0;
    BOOL ok = size == 0 || ReadFile(f, bytes->data(), size, &read, nullptr);
    *error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(f);
    bytes->resize(read);
    return ok != FALSE;
}

std::string SystemErrorText(DWORD code)
{
    wchar_t text[512] = L"";
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text / sizeof text[0], nullptr);
    while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L' ')) {
        text[--n] = L'\0';
    }
    return (n ? Utf8(text) + " " : std::string()) + "(error " + std::to_string(code) + ")";
}

// The new bytes go to a file of their own first, which then takes the old
// one's place in a single step: whichever call fails, the old file stays as
// it was and the new one is removed.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error)
{
    SaveCalls calls = CurrentSaveCalls();
    std::string temp = path + ".tmp";
    HANDLE f = calls.create(Wide(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        *error =
            "The new file\n" + temp + "\ncould not be created: " + SystemErrorText(GetLastError());
        return false;
    }
    const char* failed = nullptr;  // what could not be done, in the user's words
    DWORD written = 0;
    if (!calls.write(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        failed = "written";
    } else if (!calls.flush(f)) {
        failed = "written through to the disk";
    }
    DWORD code = GetLastError();
    if (!CloseHandle(f) && !failed) {
        failed = "written";
        code = GetLastError();
    }
    if (!failed) {
        if (calls.replace(Wide(temp).c_str(), Wide(path).c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        failed = "moved into place";
        code = GetLastError();
    }
    DeleteFileW(Wide(temp).c_str());
    *error = "The new file\n" + temp + "\ncould not be " + failed + ": " + SystemErrorText(code);
    return false;
}

HostSettings LoadHostSettings(bool* fromFile, std::string* problem)
{
    HostSettings settings = {};
    *fromFile = false;
    std::vector<uint8_t> bytes;
    DWORD error = ERROR_SUCCESS;
    if (!ReadWholeFile(host.settingsPath, &bytes, &error)) {
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            KeepFileAsItIs("It could not be read", "could not be read: " + SystemErrorText(error),
                           problem);
        }
        return settings;
    }
    SettingsStatus status = DecodeSettings(bytes.data(), bytes.size(), &settings);
    if (status == SETTINGS_OK) {
        *fromFile = true;
        return settings;
    }
    // A newer host's file is not damaged, only beyond this one: it stays
    // whole for that host, and nothing of this session replaces it.
    if (status == SETTINGS_NEWER_VERSION) {
        uint32_t writer = SettingsFileWriter(bytes.data(), bytes.size());
        std::string by =
            writer ? "Morva Host " + HostVersionText(writer) : "a newer version of Morva Host";
        KeepFileAsItIs("It was written by " + by,
                       "was written by " + by +
                           (writer ? ", newer than this one (" : " than this one (") +
                           kHostVersionText + ").",
                       problem);
        return HostSettings{};
    }
    std::string reason =
        bytes.size() > kLargestFile ? "it is far too large" : SettingsStatusText(status);
    std::string aside = SetAside(host.settingsPath, &error);
    *problem = "The settings file\n" + host.settingsPath + "\nis damaged: " + reason + ".\n\n";
    if (!aside.empty()) {
        *problem +=
            "It has been set aside as\n" + aside + "\nand Morva Host starts with default settings.";
    } else {
        *problem +=
            "It could not be set aside (" + SystemErrorText(error) +
            ").\nMorva Host starts with default settings and will replace it when it saves.";
    }
    return HostSettings{};
}

bool SaveHostSettings()
{
    if (!host.settingsKept.empty()) {
        return false;
    }
    HostSettings settings;
    settings.writer =
        PackHostVersion(MORVA_VERSION_MAJOR, MORVA_VERSION_MINOR, MORVA_VERSION_PATCH);
    settings.layout = CurrentLayout();
    for (HWND tool : host.tools) {
        settings.tools.push_back(FetchToolState(tool));
    }
    // The application data's folder of its own is made with the first save.
    CreateDirectoryW(Wide(FolderOf(host.settingsPath)).c_str(), nullptr);
    std::string error;
    if (!WriteFileAtomically(host.settingsPath, EncodeSettings(settings), &error)) {
        HostMessage("The settings could not be saved to\n" + host.settingsPath + "\n\n" + error +
                        "\n\nThe settings saved there before are kept as they were.",
                    MB_ICONERROR);
        return false;
    }
    return true;
}
