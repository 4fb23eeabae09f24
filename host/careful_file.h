// Careful file calls: reading and writing whole files so that a crash, a
// full disk or a scanner holding the file leaves the old file or the new one,
// never half of either. It knows nothing of what the files hold.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The system's words for an error code, with the code: "Access is denied.
// (error 5)".
std::string SystemErrorText(DWORD code);

// At most the first mebibyte and one byte more, so that a caller can tell a
// file too large for it from one that fits. A sharing violation, a lock
// violation and access denied are waited out a short while first, as every
// call here does.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, DWORD* error);
// Opens the file at once with no sharing but its deletion, so that no other
// program has it open (a writer holds its file open) or opens it meanwhile,
// and reads it as ReadWholeFile does. Returns the handle, for the caller to
// move or delete the file by its name and then close; on failure
// INVALID_HANDLE_VALUE and `error`.
HANDLE ReadUnshared(const std::string& path, std::vector<uint8_t>* bytes, DWORD* error);

// The temporary file of this process beside `target`, `<target>.<process
// number>.tmp`: no other running process writes one of the same name.
std::string TemporaryName(const std::string& target);
// Writes `bytes` to this process's temporary file beside `target` and
// flushes them to the disk. Returns its name; on failure "", the file
// removed, and `error` says what went wrong for the user.
std::string WriteTemporary(const std::string& target, const std::vector<uint8_t>& bytes,
                           std::string* error);
// The new bytes go to a temporary file first, which then takes the old
// file's place in one step: whichever call fails, the old file stays as it
// was and the temporary file is removed.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error);
// Puts the temporary file `temp` in place of `path`. With a non-empty
// `copySuffix` the file replaced is kept, whole and with its attributes,
// under the first free name of `path + copySuffix`, `path + ".2" +
// copySuffix`...; `*copy` says which. With `mayExist` false, `path` must not
// be there (the move fails if it has come meanwhile). On failure `temp` is
// removed, `path` holds what it held, and `error` says why.
bool PutInPlace(const std::string& temp, const std::string& path, bool mayExist,
                const std::string& copySuffix, std::string* copy, std::string* error);

// Moves `from` to the first free one of `base + suffix`, `base + ".2" +
// suffix`...: nothing is moved over another file. Returns the name taken, or
// "" and the system's error.
std::string MoveToFreeName(const std::string& from, const std::string& base,
                           const std::string& suffix, DWORD* error);
bool MoveRetried(const std::string& from, const std::string& to, DWORD flags);
bool DeleteRetried(const std::string& path);

// The names in `folder` (with its trailing backslash) that begin with
// `prefix`, with the time each was last written.
struct FoundName {
    std::string name;
    FILETIME written;
};
std::vector<FoundName> NamesBeginning(const std::string& folder, const std::string& prefix);

// Whether new files can be made in the folder, tried with a file of a name
// no other process uses, which the system deletes as its handle closes;
// `error` (when given) says why not.
bool FolderTakesFiles(const std::string& folder, DWORD* error = nullptr);
// Whether the file there can be opened for writing; `error` says why not.
// Nothing is written.
bool FileTakesWrites(const std::string& path, DWORD* error);
// A file that is there and can be read.
bool Readable(const std::string& path);
