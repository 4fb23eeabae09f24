// Careful file calls: reading and writing whole files so that a crash, a
// full disk or a scanner holding the file leaves the old file or the new one,
// never half of either. It knows nothing of what the files hold.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// "Access is denied. (error 5)": the system's words for the code, and it.
std::string SystemErrorText(DWORD code);

// At most the first mebibyte and a byte more, so that a caller can tell a
// file too large. Like every call here, it waits out a sharing or lock
// violation, or access denied, a short while.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, DWORD* error);
// Reads the file opened sharing only its deletion: no other program has it
// open (its writer would) or opens it meanwhile. The caller closes the
// handle after moving or deleting the file by name.
HANDLE ReadUnshared(const std::string& path, std::vector<uint8_t>* bytes, DWORD* error);

std::string TemporaryName(const std::string& target);  // `<target>.<process number>.tmp`
// Writes `bytes` there, flushed to the disk, and returns its name; on
// failure "", the file removed, and `error` says why for the user.
std::string WriteTemporary(const std::string& target, const std::vector<uint8_t>& bytes,
                           std::string* error);
// Through a temporary file that takes the old file's place in one step.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error);
// Puts `temp` in place of `path`, which with `mayExist` false must not be
// there. With a `copySuffix` the file replaced is kept whole under the first
// free name as MoveToFreeName gives, named in `*copy` (else unused). On
// failure `temp` is removed, `path` holds what it held, and `error` says why.
bool PutInPlace(const std::string& temp, const std::string& path, bool mayExist,
                const std::string& copySuffix, std::string* copy, std::string* error);

// Moves `from` to the first free one of `base + suffix`, `base + ".2" +
// suffix`..., never over another file: the name taken, or "" and the error.
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

// Whether the folder takes new files, and the file can be opened for
// writing, tried without writing anything; `error` says why not.
bool FolderTakesFiles(const std::string& folder, DWORD* error = nullptr);
bool FileTakesWrites(const std::string& path, DWORD* error);
// A file that is there and can be read.
bool Readable(const std::string& path);
