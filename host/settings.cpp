// Keeping the panel between runs: every tool's block and the window's place,
// written to the settings file in one step so that a crash mid-save leaves
// the last good file in place. The file is never written over unless it is
// still the one this host read or wrote, and nothing the host did not write
// in this session is destroyed: a damaged file, an older version's file and
// this host's own settings when another host holds the file are each kept
// under a name of their own.
#include <shlobj.h>

#include <cstring>

#include "host/host.h"
#include "host/options.h"

namespace {

// A real settings file is a few kilobytes; anything far larger is not one.
const DWORD kLargestFile = 1u << 20;
const char kFileName[] = "morvahost.settings";

// What this host last saw at the settings path: the bytes it read or wrote,
// none, or (when the read at start failed) nothing known. Set by the load,
// kept by every save.
enum SeenFile { SEEN_UNKNOWN, SEEN_NONE, SEEN_BYTES };
SeenFile seen = SEEN_UNKNOWN;
std::vector<uint8_t> seenBytes;
// Where this session's settings go instead of the settings file, once a
// newer host's file has taken its place; empty until then.
std::string keptApart;

// A scanner, indexer or backup tool holds a file for a few milliseconds:
// these failures pass, others last.
bool PassingFailure(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

// Makes `call` again while it fails for a passing reason, a bounded number
// of times with a pause that grows by 10 ms each time (at most 0.28 s in
// all); the last error is the last failure's.
template <typename Call>
bool Retried(Call call)
{
    const int kAttempts = 8;
    for (int attempt = 1;; attempt++) {
        if (call()) {
            return true;
        }
        DWORD error = GetLastError();
        if (attempt == kAttempts || !PassingFailure(error)) {
            SetLastError(error);
            return false;
        }
        Sleep(10 * attempt);
    }
}

HANDLE OpenFile(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    HANDLE f = INVALID_HANDLE_VALUE;
    Retried([&] {
        f = CreateFileW(Wide(path).c_str(), access, share, nullptr, disposition,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        return f != INVALID_HANDLE_VALUE;
    });
    return f;
}

// Others may read the file, or replace it, while it is read.
HANDLE OpenToRead(const std::string& path)
{
    return OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
}

bool DeleteRetried(const std::string& path)
{
    return Retried([&] { return DeleteFileW(Wide(path).c_str()) != FALSE; });
}

bool MoveRetried(const std::string& from, const std::string& to, DWORD flags)
{
    return Retried([&] {
        return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), flags | MOVEFILE_WRITE_THROUGH) !=
               FALSE;
    });
}

// Moves `from` to the first free one of `base + suffix`, `base + ".2" +
// suffix`, `base + ".3" + suffix`...: nothing is moved over another file.
// Returns the name taken, or "" and the system's error.
std::string MoveToFreeName(const std::string& from, const std::string& base,
                           const std::string& suffix, DWORD* error)
{
    for (int n = 1; n < 100; n++) {
        std::string to = n == 1 ? base + suffix : base + "." + std::to_string(n) + suffix;
        if (MoveRetried(from, to, 0)) {
            return to;
        }
        *error = GetLastError();
        if (*error != ERROR_ALREADY_EXISTS && *error != ERROR_FILE_EXISTS) {
            return std::string();
        }
    }
    return std::string();
}

// The temporary file of this process beside `target`: no other process
// writes one of the same name.
std::string TemporaryName(const std::string& target)
{
    return target + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
}

// Writes `bytes` to this process's temporary file beside `target` and
// flushes it to the disk. Returns its name; on failure "", the file
// removed, and `error` says what went wrong.
std::string WriteTemporary(const std::string& target, const std::vector<uint8_t>& bytes,
                           std::string* error)
{
    std::string temp = TemporaryName(target);
    HANDLE f = OpenFile(temp, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (f == INVALID_HANDLE_VALUE) {
        *error =
            "The new file\n" + temp + "\ncould not be created: " + SystemErrorText(GetLastError());
        return std::string();
    }
    std::string failed;  // what went wrong, in the user's words
    DWORD written = 0;
    if (!WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        failed = "written: " + SystemErrorText(GetLastError());
    } else if (written != bytes.size()) {
        // The system reported no error: there is no code to show.
        failed = "written: only " + std::to_string(written) + " of its " +
                 std::to_string(bytes.size()) + " bytes reached it";
    } else if (!FlushFileBuffers(f)) {
        failed = "written through to the disk: " + SystemErrorText(GetLastError());
    }
    if (!CloseHandle(f) && failed.empty()) {
        failed = "written: " + SystemErrorText(GetLastError());
    }
    if (failed.empty()) {
        return temp;
    }
    DeleteRetried(temp);
    *error = "The new file\n" + temp + "\ncould not be " + failed;
    return std::string();
}

// Adds a paragraph to what the user is told at start.
void AddProblem(std::string* problem, const std::string& text)
{
    *problem += (problem->empty() ? "" : "\n\n") + text;
}

// Leaves the settings file as it is for this session, so that nothing is
// saved over it: `why` begins the reason kept for the About box and the Save
// command, `what` says what is wrong with the file in the warning shown at
// start.
void KeepFileAsItIs(const std::string& why, const std::string& what, std::string* problem)
{
    const std::string notSaved = "what you change in this session is not saved.";
    host.settingsKept = why + ", so it is left as it is: " + notSaved;
    AddProblem(problem, "The settings file\n" + host.settingsPath + "\n" + what +
                            "\n\nMorva Host starts with default settings and leaves that file as "
                            "it is: " +
                            notSaved);
}

// The names in `folder` that begin with `prefix` and end with `suffix`.
std::vector<std::string> NamesLike(const std::string& folder, const std::string& prefix,
                                   const std::string& suffix)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Wide(folder + prefix + "*" + suffix).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::string name = Utf8(found.cFileName);
        if (name.size() >= prefix.size() + suffix.size() &&
            name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            names.push_back(name);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

// Whether the process of this number still runs: a temporary file of one
// that does not was left by a crash. This process saves nothing while it
// loads.
bool ProcessRuns(DWORD pid)
{
    if (pid == GetCurrentProcessId()) {
        return false;
    }
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) {
        return GetLastError() != ERROR_INVALID_PARAMETER;
    }
    bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

// Temporary files beside the settings file that a host which crashed while
// saving left: `<name>.<process>.tmp` of a process that is gone, and the
// fixed `<name>.tmp` of earlier hosts. They never held the only copy of
// anything: the move that would have made them so never happened.
void RemoveStaleTemporaries(const std::string& path)
{
    std::string folder = FolderOf(path);
    std::string name = path.substr(folder.size());
    for (const std::string& stale : NamesLike(folder, name + ".", ".tmp")) {
        std::string middle = stale.substr(0, stale.size() - 4);
        std::string digits = middle.substr(middle.find_last_of('.') + 1);
        if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos &&
            digits.size() < 11 && !ProcessRuns(static_cast<DWORD>(std::stoul(digits)))) {
            DeleteRetried(folder + stale);
        }
    }
    DeleteFileW(Wide(path + ".tmp").c_str());
}

// The settings a host kept apart as Windows ended its session, because
// another host had saved to the file meanwhile: each is given its lasting
// name now and the user is told where it is.
void TellOfSettingsKeptAtSessionEnd(const std::string& path, std::string* problem)
{
    std::string folder = FolderOf(path);
    std::string name = path.substr(folder.size());
    for (const std::string& ended : NamesLike(folder, name, ".ended")) {
        DWORD error = ERROR_SUCCESS;
        std::string kept = MoveToFreeName(folder + ended, path, ".kept", &error);
        AddProblem(problem, "When Windows ended an earlier session, the settings file\n" + path +
                                "\nheld what another Morva Host had saved there, so Morva Host "
                                "kept that session's settings apart, in\n" +
                                (kept.empty() ? folder + ended : kept) +
                                "\n\nThe settings file was left as the other host wrote it. To "
                                "use the settings kept apart, start Morva Host with --settings "
                                "and that file.");
    }
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

// Whether new files can be made in the folder: a file of a name no other
// process uses is created, and the system deletes it as its handle closes,
// however this process ends. The folder's access list would not tell what
// the system decides for this user and process (groups, elevation, the file
// system's own rules); trying does.
bool FolderTakesFiles(const std::string& folder)
{
    static int probes = 0;  // a name is tried once in a process
    for (int tries = 0; tries < 4; tries++) {
        std::wstring probe = Wide(folder + "morvahost-" + std::to_string(GetCurrentProcessId()) +
                                  "-" + std::to_string(++probes) + ".probe");
        HANDLE f = CreateFileW(probe.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            CloseHandle(f);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

// A settings file that is there and can be read.
bool Readable(const std::string& path)
{
    HANDLE f = OpenToRead(path);
    if (f == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(f);
    return true;
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

// Whether the file now at the settings path is the one this host last saw
// there (`exists` and `bytes` say what is there now).
bool StillAsSeen(bool exists, const std::vector<uint8_t>& bytes)
{
    return exists ? seen == SEEN_BYTES && bytes == seenBytes : seen == SEEN_NONE;
}

// Keeps a copy of a file the save is about to replace that this host did
// not write: an older version's under a name that says its version, so
// that the host that wrote it can still be given it; a damaged one set
// aside, as a start would.
bool KeepWhatIsReplaced(const std::vector<uint8_t>& bytes, std::string* error)
{
    HostSettings unused;
    uint32_t version = SettingsFileVersion(bytes.data(), bytes.size());
    bool readable = DecodeSettings(bytes.data(), bytes.size(), &unused) == SETTINGS_OK;
    if (readable && version >= SETTINGS_VERSION) {
        return true;
    }
    std::string suffix = readable ? ".version-" + std::to_string(version) : ".bad";
    std::string temp = WriteTemporary(host.settingsPath, bytes, error);
    if (temp.empty()) {
        return false;
    }
    DWORD code = ERROR_SUCCESS;
    std::string copy = MoveToFreeName(temp, host.settingsPath, suffix, &code);
    if (copy.empty()) {
        DeleteRetried(temp);
        *error = "A copy of the file it replaces could not be kept: " + SystemErrorText(code);
        return false;
    }
    HostLog("the settings file it replaces is kept as " + copy);
    return true;
}

// This session's settings, kept in a file of their own beside the settings
// file, which holds another host's: now under a lasting name, which later
// saves of the session replace, or, as Windows ends the session, under a
// name the next start finds and tells the user of.
bool KeepApart(const std::vector<uint8_t>& bytes, SaveOccasion occasion, std::string* error)
{
    std::string temp = WriteTemporary(host.settingsPath, bytes, error);
    if (temp.empty()) {
        return false;
    }
    DWORD code = ERROR_SUCCESS;
    std::string kept = MoveToFreeName(temp, host.settingsPath,
                                      occasion == SAVE_AT_SESSION_END ? ".ended" : ".kept", &code);
    if (kept.empty()) {
        DeleteRetried(temp);
        *error = "This session's settings could not be kept apart either: " + SystemErrorText(code);
        return false;
    }
    if (occasion != SAVE_AT_SESSION_END) {
        keptApart = kept;
    }
    return true;
}

std::string NewerHostText(const std::vector<uint8_t>& bytes)
{
    uint32_t writer = SettingsFileWriter(bytes.data(), bytes.size());
    return writer ? "Morva Host " + HostVersionText(writer) : "a newer version of Morva Host";
}

SaveOutcome SaveFailed(const std::string& error)
{
    HostMessage("The settings could not be saved to\n" + host.settingsPath + "\n\n" + error +
                    "\n\nThe settings saved there before are kept as they were.",
                MB_ICONERROR);
    return SAVE_FAILED;
}

}  // namespace

std::string ChooseSettingsPath(const std::string& programFolder, const std::string& dataFolder,
                               std::string* place)
{
    // A file already there is used wherever it is, so that the place never
    // changes under the user.
    if (Readable(programFolder + kFileName)) {
        *place = "beside the program, where it was found";
        return programFolder + kFileName;
    }
    if (!dataFolder.empty() && Readable(dataFolder + kFileName)) {
        *place = "in your application data, where it was found";
        return dataFolder + kFileName;
    }
    if (FolderTakesFiles(programFolder)) {
        *place = "beside the program";
        return programFolder + kFileName;
    }
    if (dataFolder.empty()) {
        *place =
            "beside the program, whose folder cannot be written; nor is there an "
            "application data folder";
        return programFolder + kFileName;
    }
    // The folder of its own is made now, so that a settings path whose
    // folder is missing always means one that is not there (a drive gone).
    CreateDirectoryW(Wide(dataFolder).c_str(), nullptr);
    *place = "in your application data, since the program's folder cannot be written";
    return dataFolder + kFileName;
}

std::string DefaultSettingsPath(std::string* place)
{
    return ChooseSettingsPath(ProgramFolder(), ApplicationDataFolder(), place);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, DWORD* error)
{
    HANDLE f = OpenToRead(path);
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
    bool ok = size == 0 ||
              Retried([&] { return ReadFile(f, bytes->data(), size, &read, nullptr) != FALSE; });
    *error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(f);
    bytes->resize(read);
    return ok;
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

// The new bytes go to a file of this process's own first, which then takes
// the old one's place in a single step: whichever call fails, the old file
// stays as it was and the new one is removed.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error)
{
    std::string temp = WriteTemporary(path, bytes, error);
    if (temp.empty()) {
        return false;
    }
    if (MoveRetried(temp, path, MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    DWORD code = GetLastError();
    DeleteRetried(temp);
    *error = "The new file\n" + temp + "\ncould not be moved into place: " + SystemErrorText(code);
    return false;
}

HostSettings LoadHostSettings(bool* fromFile, std::string* problem)
{
    HostSettings settings = {};
    *fromFile = false;
    seen = SEEN_UNKNOWN;
    seenBytes.clear();
    keptApart.clear();
    RemoveStaleTemporaries(host.settingsPath);
    TellOfSettingsKeptAtSessionEnd(host.settingsPath, problem);
    std::vector<uint8_t> bytes;
    DWORD error = ERROR_SUCCESS;
    if (!ReadWholeFile(host.settingsPath, &bytes, &error)) {
        if (error == ERROR_FILE_NOT_FOUND) {
            seen = SEEN_NONE;
        } else if (error == ERROR_PATH_NOT_FOUND) {
            // Its folder or its drive is not there now; the file may be,
            // later in the session.
            KeepFileAsItIs(
                "Its folder was not found",
                "could not be found: its folder is not there (" + SystemErrorText(error) + ").",
                problem);
        } else {
            AddProblem(problem, "The settings file\n" + host.settingsPath +
                                    "\ncould not be read: " + SystemErrorText(error) +
                                    "\n\nMorva Host starts with default settings, and asks "
                                    "before it saves over that file.");
        }
        return settings;
    }
    SettingsStatus status = DecodeSettings(bytes.data(), bytes.size(), &settings);
    if (status == SETTINGS_OK) {
        *fromFile = true;
        seen = SEEN_BYTES;
        seenBytes = bytes;
        return settings;
    }
    // A newer host's file is not damaged, only beyond this one: it stays
    // whole for that host, and nothing of this session replaces it.
    if (status == SETTINGS_NEWER_VERSION) {
        uint32_t writer = SettingsFileWriter(bytes.data(), bytes.size());
        std::string by = NewerHostText(bytes);
        KeepFileAsItIs("It was written by " + by,
                       "was written by " + by +
                           (writer ? ", newer than this one (" : " than this one (") +
                           kHostVersionText + ").",
                       problem);
        return HostSettings{};
    }
    std::string reason =
        bytes.size() > kLargestFile ? "it is far too large" : SettingsStatusText(status);
    std::string damaged = "is damaged: " + reason + ".";
    std::string aside = MoveToFreeName(host.settingsPath, host.settingsPath, ".bad", &error);
    if (aside.empty()) {
        KeepFileAsItIs("It is damaged and could not be set aside",
                       damaged + "\n\nIt could not be set aside (" + SystemErrorText(error) + ").",
                       problem);
        return HostSettings{};
    }
    seen = SEEN_NONE;
    AddProblem(problem, "The settings file\n" + host.settingsPath + "\n" + damaged +
                            "\n\nIt has been set aside as\n" + aside +
                            "\nand Morva Host starts with default settings.");
    return HostSettings{};
}

SaveOutcome SaveHostSettings(SaveOccasion occasion)
{
    if (!host.settingsKept.empty()) {
        return SAVE_NOT_MADE;
    }
    HostSettings settings;
    settings.writer =
        PackHostVersion(MORVA_VERSION_MAJOR, MORVA_VERSION_MINOR, MORVA_VERSION_PATCH);
    settings.layout = CurrentLayout();
    for (HWND tool : host.tools) {
        settings.tools.push_back(FetchToolState(tool));
    }
    std::vector<uint8_t> bytes = EncodeSettings(settings);
    std::string error;
    if (!keptApart.empty()) {
        return WriteFileAtomically(keptApart, bytes, &error) ? SAVE_DONE : SaveFailed(error);
    }
    // What is there now, checked as late as can be: another host may have
    // saved to the file since this one read it.
    std::vector<uint8_t> now;
    DWORD code = ERROR_SUCCESS;
    bool exists = ReadWholeFile(host.settingsPath, &now, &code);
    if (!exists && code != ERROR_FILE_NOT_FOUND) {
        return SaveFailed(
            "It could not be read to see whether another Morva Host has saved "
            "there since: " +
            SystemErrorText(code));
    }
    if (!StillAsSeen(exists, now)) {
        HostSettings unused;
        bool newer =
            exists && DecodeSettings(now.data(), now.size(), &unused) == SETTINGS_NEWER_VERSION;
        if (newer || occasion == SAVE_AT_SESSION_END) {
            // A newer host's file is never replaced, and as the session
            // ends nobody can be asked.
            if (!KeepApart(bytes, occasion, &error)) {
                return SaveFailed(error);
            }
            if (newer && occasion != SAVE_AT_SESSION_END) {
                HostMessage("The settings file\n" + host.settingsPath + "\nwas written by " +
                                NewerHostText(now) +
                                " while this one ran, so it is left as it is.\n\nThis "
                                "session's settings are kept apart, in\n" +
                                keptApart + "\nand go there whenever they are saved again.",
                            MB_ICONINFORMATION);
            }
            return SAVE_DONE;
        }
        std::string since = seen == SEEN_UNKNOWN ? "could not be read when this Morva Host started"
                                                 : "has changed since this Morva Host read it: "
                                                   "another Morva Host may have saved there";
        if (!hostHooks.confirm("The settings file\n" + host.settingsPath + "\n" + since +
                               ".\n\nSave this host's settings over it?\n\nYes: this host's "
                               "panel and tools replace what the file holds.\nNo: the file "
                               "stays as it is, and this session's settings are not saved.")) {
            return SAVE_NOT_MADE;
        }
    }
    if (exists && !KeepWhatIsReplaced(now, &error)) {
        return SaveFailed(error);
    }
    if (!WriteFileAtomically(host.settingsPath, bytes, &error)) {
        return SaveFailed(error);
    }
    seen = SEEN_BYTES;
    seenBytes = bytes;
    return SAVE_DONE;
}
