// The files the host makes beside its settings file, found and cleared away.
#include <cstring>

#include "host/host.h"

const char kUnsavedStart[] = "MVHS unsaved\r\n";

namespace {

// The one table of the files made beside the settings file FILE, by
// LeftoverName, for the finder, the clean-up and docs/host.md: "FILE." and the
// pattern, '#' a process number (no zero before it), '?' a copy number from 2
// to 99 and its dot, which the first copy goes without. No other name is touched.
struct LeftoverKind {
    const char* pattern;
    const char* writer;
    const char* start;    // what a start does with it
    const char* removed;  // and when
};
const LeftoverKind kLeftoverKinds[] = {
    {"#.tmp", "a save, as it writes the new file",
     "where FILE is missing or damaged, takes back the newest whole one of a host that is gone",
     "by its save once in place; by a start once no host holds it open and FILE holds the same "
     "bytes, or it is damaged"},
    {"tmp", "a save of a host before 1.1", "as FILE.#.tmp", "as FILE.#.tmp"},
    {"?ended", "the end of a Windows session whose settings could not go to FILE",
     "renames it FILE.?kept and tells where it is", "renamed by the next start"},
    {"unsaved", "the end of a Windows session whose settings could not be written at all",
     "tells what was lost and why", "by the start that told"},
    {"?kept", "a session that keeps its settings apart, and later saves of that session", "nothing",
     "never: the user's"},
    {"?bad", "a start that found FILE damaged", "nothing", "never: the user's"},
    {"?version-1", "the first save over a file of hosts before 1.1", "nothing", "never"},
    {"?version-2", "the first save over a file of host 1.1", "nothing", "never"},
    {"?replaced", "a save over a file, as it replaces it", "nothing",
     "by that save when the file was its own; otherwise never"},
};

// Whether `found` is `name` followed by the pattern of `kind`.
bool Matches(const std::string& found, const std::string& name, LeftoverName kind)
{
    const char* pattern = kLeftoverKinds[kind].pattern;
    bool numbered = pattern[0] == '#' || pattern[0] == '?';
    std::string tail = numbered ? pattern + 1 : pattern;
    tail.insert(0, tail[0] == '.' ? "" : ".");
    if (found.size() < name.size() + tail.size() || found.compare(0, name.size(), name) != 0 ||
        found.compare(found.size() - tail.size(), tail.size(), tail) != 0) {
        return false;
    }
    std::string digits = found.substr(name.size(), found.size() - name.size() - tail.size());
    if (digits.empty()) {
        return pattern[0] != '#';
    }
    if (!numbered || digits.size() < 2 || digits[0] != '.' || digits[1] == '0' ||
        digits.find_first_not_of("0123456789", 1) != std::string::npos) {
        return false;
    }
    uint64_t number = digits.size() <= 11 ? std::stoull(digits.substr(1)) : ~0ull;
    return pattern[0] == '#' ? number <= 0xFFFFFFFFu : number >= 2 && number <= 99;
}

// A file beside the settings file, read unshared: a writer holds it open.
struct Leftover {
    LeftoverName kind;
    std::string path;
    FILETIME written;
    HANDLE file;
    DWORD error;  // why it could not be opened or read; ERROR_SUCCESS when it was
    std::vector<uint8_t> bytes;
};

// The files of the kinds `first` to `last`; `own` gets the settings file's time.
std::vector<Leftover> FindLeftovers(const std::string& path, LeftoverName first, LeftoverName last,
                                    FILETIME* own)
{
    std::vector<Leftover> found;
    std::string folder = FolderOf(path), name = path.substr(folder.size());
    for (const FoundName& f : NamesBeginning(folder, name)) {
        *own = f.name == name ? f.written : *own;
        for (int k = first; k <= last; k++) {
            if (Matches(f.name, name, static_cast<LeftoverName>(k))) {
                Leftover left = {static_cast<LeftoverName>(k), folder + f.name, f.written,
                                 INVALID_HANDLE_VALUE,         ERROR_SUCCESS,   {}};
                left.file = ReadUnshared(left.path, &left.bytes, &left.error);
                found.push_back(left);
            }
        }
    }
    return found;
}

void Close(std::vector<Leftover>* leftovers)
{
    for (Leftover& left : *leftovers) {
        if (left.file != INVALID_HANDLE_VALUE) {
            CloseHandle(left.file);
        }
    }
}

void TellLeftAlone(const Leftover& left, const std::string& why, std::string* problem)
{
    AddProblem(problem, "A save that a Morva Host could not finish left settings in\n" + left.path +
                            "\nwhich " + why +
                            ", so it is left as it is. To use them, start Morva Host with "
                            "--settings and that file.");
}

// Tells what an ended session left: its settings kept apart, or why not.
void TellOfEndedSession(const Leftover& left, std::string* problem)
{
    std::string text(left.bytes.begin(), left.bytes.end());
    if (left.kind == LEFT_ENDED && !text.empty()) {
        DWORD error = ERROR_SUCCESS;
        std::string kept =
            MoveToFreeName(left.path, host.settingsPath, LeftoverSuffix(LEFT_KEPT), &error);
        AddProblem(problem,
                   "When Windows ended an earlier session, its settings could not go to\n" +
                       host.settingsPath +
                       "\n(another Morva Host had saved there, or the file could not be "
                       "replaced then), so Morva Host kept them apart, in\n" +
                       (kept.empty() ? left.path : kept) +
                       "\n\nTo use them, start Morva Host with --settings and that file.");
    } else if (left.kind == LEFT_UNSAVED && text.rfind(kUnsavedStart, 0) == 0) {
        AddProblem(problem,
                   "When Windows ended an earlier session, Morva Host could not save its "
                   "settings to\n" +
                       host.settingsPath + "\n\n" + text.substr(strlen(kUnsavedStart)) +
                       "\n\nWhat was changed in that session is lost; the settings file "
                       "holds what was saved before it.");
        DeleteRetried(left.path);
    }
}

}  // namespace

std::string LeftoverSuffix(LeftoverName kind)
{
    const char* pattern = kLeftoverKinds[kind].pattern;
    return std::string(".") + (pattern[0] == '?' ? pattern + 1 : pattern);
}

void AddProblem(std::string* problem, const std::string& text)
{
    *problem += (problem->empty() ? "" : "\n\n") + text;
}

bool TakeBackUnfinishedSave(std::vector<uint8_t>* taken, std::string* from, std::string* problem)
{
    FILETIME own = {};
    std::vector<Leftover> temps =
        FindLeftovers(host.settingsPath, LEFT_TEMPORARY, LEFT_OLD_TEMPORARY, &own);
    Leftover* best = nullptr;
    bool untaken = false;
    HostSettings unused;
    for (Leftover& left : temps) {
        SettingsStatus status = DecodeSettings(left.bytes.data(), left.bytes.size(), &unused);
        // A newer host's is told of as the leftovers are cleared.
        untaken = untaken || left.error != ERROR_SUCCESS || status == SETTINGS_NEWER_VERSION;
        if (left.error != ERROR_SUCCESS) {
            TellLeftAlone(left, "could not be read: " + SystemErrorText(left.error), problem);
        } else if (status == SETTINGS_OK &&
                   (!best || CompareFileTime(&left.written, &best->written) > 0)) {
            best = &left;
        }
    }
    if (best && MoveRetried(best->path, host.settingsPath, 0)) {
        *taken = best->bytes;
        *from = best->path;
    } else if (best) {
        untaken = true;
        TellLeftAlone(*best,
                      "could not be moved into its place: " + SystemErrorText(GetLastError()),
                      problem);
    }
    Close(&temps);
    return !untaken;
}

void RemoveLeftovers(const std::vector<uint8_t>* settings, std::string* problem)
{
    FILETIME own = {};
    std::vector<Leftover> found =
        FindLeftovers(host.settingsPath, LEFT_TEMPORARY, LEFT_UNSAVED, &own);
    HostSettings unused;
    for (Leftover& left : found) {
        if (left.error != ERROR_SUCCESS || !BeginsAsOurs(left.bytes)) {
            continue;  // written now, or someone else's
        }
        SettingsStatus status = DecodeSettings(left.bytes.data(), left.bytes.size(), &unused);
        bool later = CompareFileTime(&own, &left.written) > 0;  // never when there is no file
        if (left.kind > LEFT_OLD_TEMPORARY) {
            TellOfEndedSession(left, problem);
        } else if (status == SETTINGS_NEWER_VERSION) {
            TellLeftAlone(left, "was written by a newer Morva Host", problem);
        } else if (status != SETTINGS_OK || (settings && *settings == left.bytes)) {
            DeleteRetried(left.path);
        } else {
            // A later settings file may hold defaults saved when a fault kept
            // this one from being taken back: it stays the user's.
            TellLeftAlone(left,
                          later ? "holds settings other than those of the settings file"
                                : "holds settings written after those of the settings file",
                          problem);
        }
    }
    Close(&found);
}
