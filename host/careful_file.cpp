// Careful file calls: passing failures waited out, and no name taken over.
#include "host/careful_file.h"

#include <algorithm>

#include "host/text.h"

namespace {

const DWORD kLargestFile = 1u << 20;  // a real file of the host's is a few kilobytes

// A scanner, indexer or backup tool holds a file for a few milliseconds.
bool PassingFailure(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

// Makes `call` again while it fails for a passing reason, with a pause that
// grows by 10 ms each time (at most 0.28 s in all); the last error stays.
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

bool CloseOpened(HANDLE f)
{
    if (f == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(f);
    return true;
}

// Reads the file `f` is open on; on failure closes it: INVALID_HANDLE_VALUE.
HANDLE ReadOpened(HANDLE f, std::vector<uint8_t>* bytes, DWORD* error)
{
    if (f == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return f;
    }
    DWORD high = 0, size = GetFileSize(f, &high);
    if (high != 0 || size > kLargestFile) {
        size = kLargestFile + 1;  // read enough to know it is too long
    }
    bytes->resize(size);
    DWORD read = 0;
    bool ok = size == 0 ||
              Retried([&] { return ReadFile(f, bytes->data(), size, &read, nullptr) != FALSE; });
    *error = ok ? ERROR_SUCCESS : GetLastError();
    bytes->resize(read);
    if (!ok) {
        CloseHandle(f);
        return INVALID_HANDLE_VALUE;
    }
    return f;
}

// The first free of `base + suffix`, `base + ".2" + suffix`... to 99, or "".
std::string FreeName(const std::string& base, const std::string& suffix)
{
    for (int n = 1; n < 100; n++) {
        std::string name = n == 1 ? base + suffix : base + "." + std::to_string(n) + suffix;
        if (GetFileAttributesW(Wide(name).c_str()) != INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return name;
        }
        if (!PassingFailure(error)) {
            return std::string();
        }
    }
    return std::string();
}

}  // namespace

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

HANDLE ReadUnshared(const std::string& path, std::vector<uint8_t>* bytes, DWORD* error)
{
    // Not waited out: a file held open is one whose writer runs.
    return ReadOpened(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                      bytes, error);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, DWORD* error)
{
    return CloseOpened(ReadOpened(OpenToRead(path), bytes, error));
}

std::string TemporaryName(const std::string& target)
{
    return target + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
}

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

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error)
{
    std::string temp = WriteTemporary(path, bytes, error);
    return !temp.empty() && PutInPlace(temp, path, true, std::string(), nullptr, error);
}

bool PutInPlace(const std::string& temp, const std::string& path, bool mayExist,
                const std::string& copySuffix, std::string* copy, std::string* error)
{
    bool done = false;
    if (!mayExist) {
        done = MoveRetried(temp, path, 0);
    } else if (copySuffix.empty()) {
        done = MoveRetried(temp, path, MOVEFILE_REPLACE_EXISTING);
    } else if ((*copy = FreeName(path, copySuffix)).empty()) {
        SetLastError(ERROR_FILE_EXISTS);
    } else {
        // ReplaceFileW keeps the old file's attributes and streams on the new
        // one; where it moved the old away but not the new in, it goes back.
        done = Retried([&] {
            return ReplaceFileW(Wide(path).c_str(), Wide(temp).c_str(), Wide(*copy).c_str(), 0,
                                nullptr, nullptr) != FALSE;
        });
        if (!done && GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            MoveRetried(*copy, path, 0);
            SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
        }
    }
    if (done) {
        return true;
    }
    DWORD code = GetLastError();
    DeleteRetried(temp);
    *error = "The new file\n" + temp + "\ncould not be moved into place: " + SystemErrorText(code);
    return false;
}

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

bool MoveRetried(const std::string& from, const std::string& to, DWORD flags)
{
    return Retried([&] {
        return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), flags | MOVEFILE_WRITE_THROUGH) !=
               FALSE;
    });
}

bool DeleteRetried(const std::string& path)
{
    return Retried([&] { return DeleteFileW(Wide(path).c_str()) != FALSE; });
}

std::vector<FoundName> NamesBeginning(const std::string& folder, const std::string& prefix)
{
    std::vector<FoundName> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Wide(folder + prefix + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::string name = Utf8(found.cFileName);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            name.compare(0, prefix.size(), prefix) == 0) {
            names.push_back({name, found.ftLastWriteTime});
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    // Whatever order the file system lists them in, starts go alike.
    std::sort(names.begin(), names.end(),
              [](const FoundName& a, const FoundName& b) { return a.name < b.name; });
    return names;
}

// The folder's access list would not tell what the system decides for this
// user and process (groups, elevation, the file system's rules); trying does.
bool FolderTakesFiles(const std::string& folder, DWORD* error)
{
    DWORD unused = ERROR_SUCCESS;
    error = error ? error : &unused;
    static int probes = 0;  // a name is tried once in a process
    // A name taken is tried anew, a passing hold waited out; a refusal stands.
    for (int tries = 0, waits = 0; tries < 4;) {
        std::wstring probe = Wide(folder + "morvahost-" + std::to_string(GetCurrentProcessId()) +
                                  "-" + std::to_string(++probes) + ".probe");
        HANDLE f = CreateFileW(probe.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (CloseOpened(f)) {
            return true;
        }
        *error = GetLastError();
        if ((*error == ERROR_SHARING_VIOLATION || *error == ERROR_LOCK_VIOLATION) && ++waits < 8) {
            Sleep(10 * waits);
        } else if (*error == ERROR_FILE_EXISTS || *error == ERROR_ALREADY_EXISTS) {
            tries++;
        } else {
            return false;
        }
    }
    return false;
}

bool FileTakesWrites(const std::string& path, DWORD* error)
{
    // A read-only file cannot be replaced even where it opens for writing (as
    // an administrator's may).
    DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    HANDLE f = OpenFile(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        OPEN_EXISTING);
    *error = f == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    return CloseOpened(f);
}

bool Readable(const std::string& path)
{
    return CloseOpened(OpenToRead(path));
}
