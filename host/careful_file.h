// Careful file calls: whatever fails, the old file or the new one, never half.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

std::string SystemErrorText(DWORD code);  // "Access is denied. (error 5)"

// At most 1 MiB and a byte more, to tell a file too large. Like every call
// here, it waits out a sharing or lock violation or access denied a while.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, DWORD* error);
// Reads a file opened sharing only its deletion, so that no writer has it or
// opens it; the caller closes it after moving or deleting it by name.
HANDLE ReadUnshared(const std::string& path, std::vector<uint8_t>* bytes, DWORD* error);

std::string TemporaryName(const std::string& target);  // `<target>.<process number>.tmp`
// Writes `bytes` there, flushed: its name, or "" and why, the file removed.
std::string WriteTemporary(const std::string& target, const std::vector<uint8_t>& bytes,
                           std::string* error);
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error);
// Puts `temp` in place of `path`, which must not be there unless `mayExist`.
// With a `copySuffix` the file replaced is kept whole under the first free
// name (`*copy`). On failure `temp` goes, `path` holds what it held.
bool PutInPlace(const std::string& temp, const std::string& path, bool mayExist,
                const std::string& copySuffix, std::string* copy, std::string* error);

// Moves `from` to the first free name of `base + suffix`, `base + ".2" +
// suffix`...: the name taken, or "" and the error.
std::string MoveToFreeName(const std::string& from, const std::string& base,
                           const std::string& suffix, DWORD* error);
bool MoveRetried(const std::string& from, const std::string& to, DWORD flags);
bool DeleteRetried(const std::string& path);

// The files in `folder` whose names begin with `prefix`, by name.
struct FoundName {
    std::string name;
    FILETIME written;
};
std::vector<FoundName> NamesBeginning(const std::string& folder, const std::string& prefix);

// Whether the folder takes new files and the file writes, tried without
// writing anything; `error` says why not.
bool FolderTakesFiles(const std::string& folder, DWORD* error = nullptr);
bool FileTakesWrites(const std::string& path, DWORD* error);
bool Readable(const std::string& path);  // there, and can be read
