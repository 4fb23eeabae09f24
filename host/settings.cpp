// What the host decides about its settings file: what a start reads, takes
// back, sets aside and tells; whether a save replaces the file, keeps a copy
// of what it replaces, or keeps this session's settings apart. The file is
// never written over unless it is still the one this host read or wrote, or
// the user said so, and nothing the host did not write is touched: it acts
// only on names it makes, matched whole, whose files begin as its files do.
// It is handed the settings and tells the user through the hooks; it
// touches no window.
#include <cstring>

#include "host/host.h"
#include "host/options.h"

namespace {

// What this host last saw at the settings path: the bytes it read or wrote,
// none, or (when the read at start failed) nothing known. Set by the load,
// kept by every save.
enum SeenFile { SEEN_UNKNOWN, SEEN_NONE, SEEN_BYTES };
SeenFile seen = SEEN_UNKNOWN;
std::vector<uint8_t> seenBytes;
// Where this session's settings go instead of the settings file, once a
// newer host's file has taken its place; empty until then.
std::string keptApart;

// A save that failed as Windows ended the session leaves this beside the
// settings file, for the next start to tell.
const char kUnsavedSuffix[] = ".unsaved";
const char kUnsavedStart[] = "MVHS unsaved\r\n";

// The files beside the settings file that the host makes, by their whole
// names: `<name>.<process>.tmp` of a save in progress, `<name>.tmp` of hosts
// before 1.1, `<name>.ended` and `<name>.<n>.ended` of a session whose end
// kept its settings apart, `<name>.unsaved` of one whose end could not save.
enum LeftoverKind { LEFT_TEMPORARY, LEFT_ENDED, LEFT_UNSAVED };
struct Leftover {
    LeftoverKind kind;
    std::string path;
    FILETIME written;
};

bool IsEndedName(const std::string& found, const std::string& name)
{
    const std::string tail = ".ended";
    if (found == name + tail) {
        return true;
    }
    size_t from = name.size() + 1;
    if (found.size() <= from + tail.size() || found.compare(0, from, name + ".") != 0 ||
        found.compare(found.size() - tail.size(), tail.size(), tail) != 0) {
        return false;
    }
    size_t digits = found.size() - tail.size() - from;
    for (size_t i = 0; i < digits; i++) {
        if (found[from + i] < '0' || found[from + i] > '9') {
            return false;
        }
    }
    // Copies are numbered from 2 to 99, with no zero before.
    return digits < 3 && found[from] != '0' && found.compare(from, digits, "1") != 0;
}

// Every file beside `path` whose whole name is one the host makes and whose
// maker is gone: a temporary file of a running host is that host's.
std::vector<Leftover> FindLeftovers(const std::string& path)
{
    std::vector<Leftover> found;
    std::string folder = FolderOf(path);
    std::string name = path.substr(folder.size());
    if (name.empty()) {
        return found;
    }
    for (const FoundName& f : NamesBeginning(folder, name + ".")) {
        DWORD process = 0;
        if (f.name == name + ".tmp" ||
            (TemporaryOf(f.name, name, &process) && !ProcessRuns(process))) {
            found.push_back({LEFT_TEMPORARY, folder + f.name, f.written});
        } else if (IsEndedName(f.name, name)) {
            found.push_back({LEFT_ENDED, folder + f.name, f.written});
        } else if (f.name == name + kUnsavedSuffix) {
            found.push_back({LEFT_UNSAVED, folder + f.name, f.written});
        }
    }
    return found;
}

// Whether the file begins as every file the host writes there does. An
// empty one, which a host that stopped just after making it leaves, holds
// nothing of anyone's.
bool BeginsAsOurs(const std::vector<uint8_t>& bytes)
{
    return bytes.empty() || (bytes.size() >= 4 && bytes[0] == 'M' && bytes[1] == 'V' &&
                             bytes[2] == 'H' && bytes[3] == 'S');
}

// Adds a paragraph to what the user is told at start.
void AddProblem(std::string* problem, const std::string& text)
{
    *problem += (problem->empty() ? "" : "\n\n") + text;
}

// Leaves the settings file as it is for this session, so that nothing is
// saved over it: `why` begins the reason kept for the About box and the Save
// command, `what` says what is wrong with the file in the warning shown at
// start, `starts` how this session starts.
void KeepFileAsItIs(const std::string& why, const std::string& what, std::string* problem,
                    const std::string& starts = "starts with default settings")
{
    const std::string notSaved = "what you change in this session is not saved.";
    host.settingsKept = why + ", so it is left as it is: " + notSaved;
    AddProblem(problem, "The settings file\n" + host.settingsPath + "\n" + what +
                            "\n\nMorva Host " + starts +
                            " and leaves that file as it is: " + notSaved);
}

// The settings a host kept apart as Windows ended its session, because
// another host had saved to the file meanwhile: each is given its lasting
// name now and the user is told where it is.
void TellOfSettingsKeptAtSessionEnd(const Leftover& ended, std::string* problem)
{
    DWORD error = ERROR_SUCCESS;
    std::string kept = MoveToFreeName(ended.path, host.settingsPath, ".kept", &error);
    AddProblem(problem, "When Windows ended an earlier session, the settings file\n" +
                            host.settingsPath +
                            "\nheld what another Morva Host had saved there, so Morva Host "
                            "kept that session's settings apart, in\n" +
                            (kept.empty() ? ended.path : kept) +
                            "\n\nThe settings file was left as the other host wrote it. To "
                            "use the settings kept apart, start Morva Host with --settings "
                            "and that file.");
}

void TellOfUnsavedSession(const Leftover& marker, const std::vector<uint8_t>& bytes,
                          std::string* problem)
{
    // The caller has seen that it begins with kUnsavedStart.
    std::string why(bytes.begin() + strlen(kUnsavedStart), bytes.end());
    AddProblem(problem,
               "When Windows ended an earlier session, Morva Host could not save its "
               "settings to\n" +
                   host.settingsPath + "\n\n" + why +
                   "\n\nWhat was changed in that session is lost; the settings file "
                   "holds what was saved before it.");
    DeleteRetried(marker.path);
}

// A save that a host could not finish may have left the only whole copy in
// its temporary file: where moving it into place was not one step (FAT,
// exFAT), the old file is gone and the new one not yet there. The newest
// that reads whole is taken into the settings file's place. Returns false
// when one was found that could not be taken: it stays, with the rest.
bool TakeBackUnfinishedSave(const std::vector<Leftover>& leftovers, HostSettings* settings,
                            std::string* taken)
{
    const Leftover* best = nullptr;
    HostSettings bestSettings;
    bool unread = false;
    for (const Leftover& left : leftovers) {
        std::vector<uint8_t> bytes;
        DWORD error = ERROR_SUCCESS;
        HostSettings decoded;
        if (left.kind != LEFT_TEMPORARY) {
            continue;
        }
        if (!ReadWholeFile(left.path, &bytes, &error)) {
            unread = true;
        } else if (DecodeSettings(bytes.data(), bytes.size(), &decoded) == SETTINGS_OK &&
                   (!best || CompareFileTime(&left.written, &best->written) > 0)) {
            best = &left;
            bestSettings = decoded;
            seenBytes = bytes;
        }
    }
    if (!best) {
        return !unread;
    }
    if (!MoveRetried(best->path, host.settingsPath, 0)) {
        seenBytes.clear();
        return false;
    }
    *settings = bestSettings;
    *taken = best->path;
    seen = SEEN_BYTES;
    return true;
}

// Removes what is no longer needed once the settings file has been read,
// or taken back: temporary files of hosts that are gone. A file that does
// not begin as the host's is someone else's and stays.
void RemoveLeftovers(const std::vector<Leftover>& leftovers, const std::string& taken,
                     std::string* problem)
{
    for (const Leftover& left : leftovers) {
        std::vector<uint8_t> bytes;
        DWORD error = ERROR_SUCCESS;
        if (left.path == taken || !ReadWholeFile(left.path, &bytes, &error) ||
            !BeginsAsOurs(bytes)) {
            continue;
        }
        if (left.kind == LEFT_TEMPORARY) {
            DeleteRetried(left.path);
        } else if (left.kind == LEFT_ENDED && !bytes.empty()) {
            TellOfSettingsKeptAtSessionEnd(left, problem);
        } else if (std::string(bytes.begin(), bytes.end()).rfind(kUnsavedStart, 0) == 0) {
            TellOfUnsavedSession(left, bytes, problem);
        }
    }
}

// A file this host can read but not write (one made by the host run as
// administrator in a protected folder) would fail every save: it is said
// once, now, and the session leaves the file alone.
void CheckWritable(std::string* problem)
{
    DWORD error = ERROR_SUCCESS;
    bool file = FileTakesWrites(host.settingsPath, &error);
    if (file && FolderTakesFiles(FolderOf(host.settingsPath), &error)) {
        return;
    }
    if (error != ERROR_ACCESS_DENIED && error != ERROR_WRITE_PROTECT) {
        return;  // held by another program now, or the like: a save will say
    }
    KeepFileAsItIs("It can be read but not written",
                   "can be read but not written: " + SystemErrorText(error) +
                       (file ? " (its folder takes no new files)." : ".") +
                       "\n\nTo keep your changes, make the file and its folder writable for "
                       "you (clear its Read-only attribute), or start Morva Host with "
                       "--settings and a file of your own.",
                   problem, "starts with the settings it holds,");
}

std::string NewerHostText(const std::vector<uint8_t>& bytes)
{
    uint32_t writer = SettingsFileWriter(bytes.data(), bytes.size());
    return writer ? "Morva Host " + HostVersionText(writer) : "a newer version of Morva Host";
}

// Reads the settings file itself; `settings` is changed only on success.
// Returns whether it now holds settings to use.
bool ReadSettingsFile(HostSettings* settings, bool* missing, bool* whole, std::string* problem)
{
    std::vector<uint8_t> bytes;
    DWORD error = ERROR_SUCCESS;
    *missing = false;
    *whole = false;
    if (!ReadWholeFile(host.settingsPath, &bytes, &error)) {
        if (error == ERROR_FILE_NOT_FOUND) {
            seen = SEEN_NONE;
            *missing = true;
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
        return false;
    }
    SettingsStatus status = DecodeSettings(bytes.data(), bytes.size(), settings);
    if (status == SETTINGS_OK) {
        seen = SEEN_BYTES;
        seenBytes = bytes;
        *whole = true;
        return true;
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
        *whole = true;
        return false;
    }
    std::string reason =
        bytes.size() > (1u << 20) ? "it is far too large" : SettingsStatusText(status);
    std::string damaged = "is damaged: " + reason + ".";
    std::string aside = MoveToFreeName(host.settingsPath, host.settingsPath, ".bad", &error);
    if (aside.empty()) {
        KeepFileAsItIs("It is damaged and could not be set aside",
                       damaged + "\n\nIt could not be set aside (" + SystemErrorText(error) + ").",
                       problem);
        return false;
    }
    seen = SEEN_NONE;
    *missing = true;
    AddProblem(problem, "The settings file\n" + host.settingsPath + "\n" + damaged +
                            "\n\nIt has been set aside as\n" + aside +
                            "\nand Morva Host starts with default settings.");
    return false;
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

// As Windows ends the session nobody can be told: what went wrong is left
// for the next start, if even that can be written.
SaveOutcome SaveFailed(const std::string& error, SaveOccasion occasion)
{
    if (occasion == SAVE_AT_SESSION_END) {
        // Written as the settings are, so that a temporary file it leaves
        // is one the next start knows.
        std::string text = kUnsavedStart + error;
        std::string unused;
        std::string temp = WriteTemporary(host.settingsPath,
                                          std::vector<uint8_t>(text.begin(), text.end()), &unused);
        if (!temp.empty()) {
            PutInPlace(temp, host.settingsPath + kUnsavedSuffix, true, "", &unused, &unused);
        }
        HostLog("the settings could not be saved as the session ended: " + error);
        return SAVE_FAILED;
    }
    HostMessage("The settings could not be saved to\n" + host.settingsPath + "\n\n" + error +
                    "\n\nThe settings saved there before are kept as they were.",
                MB_ICONERROR);
    return SAVE_FAILED;
}

// What a save does with the file now at the settings path.
enum SaveStep { STEP_REPLACE, STEP_KEEP_APART, STEP_NOTHING };

// The name a copy of `bytes` is kept under when they are replaced: none for
// a file this host wrote or read as its own version, the version for an
// older one, ".bad" for a damaged one, ".replaced" for one the user chose
// to save over.
std::string CopySuffix(const std::vector<uint8_t>& bytes, bool asSeen)
{
    HostSettings unused;
    uint32_t version = SettingsFileVersion(bytes.data(), bytes.size());
    if (DecodeSettings(bytes.data(), bytes.size(), &unused) != SETTINGS_OK) {
        return ".bad";
    }
    if (version < SETTINGS_VERSION) {
        return ".version-" + std::to_string(version);
    }
    return asSeen ? std::string() : ".replaced";
}

SaveStep Decide(bool exists, const std::vector<uint8_t>& now, SaveOccasion occasion)
{
    if (exists ? seen == SEEN_BYTES && now == seenBytes : seen == SEEN_NONE) {
        return STEP_REPLACE;
    }
    HostSettings unused;
    bool newer =
        exists && DecodeSettings(now.data(), now.size(), &unused) == SETTINGS_NEWER_VERSION;
    // A newer host's file is never replaced, and as the session ends nobody
    // can be asked.
    if (newer || occasion == SAVE_AT_SESSION_END) {
        return STEP_KEEP_APART;
    }
    std::string since = seen == SEEN_UNKNOWN ? "could not be read when this Morva Host started"
                        : exists ? "has changed since this Morva Host read it: another Morva "
                                   "Host may have saved there"
                                 : "has been removed since this Morva Host read it";
    bool yes = hostHooks.confirm("The settings file\n" + host.settingsPath + "\n" + since +
                                 ".\n\nSave this host's settings over it?\n\nYes: this host's "
                                 "panel and tools replace what the file holds, which is kept "
                                 "beside it as a copy.\nNo: the file stays as it is, and this "
                                 "session's settings are not saved.");
    return yes ? STEP_REPLACE : STEP_NOTHING;
}

}  // namespace

HostSettings LoadHostSettings(bool* fromFile, std::string* problem)
{
    HostSettings settings = {};
    *fromFile = false;
    seen = SEEN_UNKNOWN;
    seenBytes.clear();
    keptApart.clear();
    std::vector<Leftover> leftovers = FindLeftovers(host.settingsPath);
    bool missing = false, whole = false;
    *fromFile = ReadSettingsFile(&settings, &missing, &whole, problem);
    std::string taken;
    if (missing && !TakeBackUnfinishedSave(leftovers, &settings, &taken)) {
        missing = false;  // nothing is removed while it may be the only copy
    } else if (!taken.empty()) {
        *fromFile = whole = true;
        AddProblem(problem, "The settings file\n" + host.settingsPath +
                                "\nwas missing or damaged, but a save that a Morva Host could not "
                                "finish had left its settings whole in\n" +
                                taken + "\nMorva Host has taken them as the settings file.");
    }
    // Only once the file is whole, or there is none to have, is a
    // temporary file no longer anyone's only copy.
    if (whole || missing) {
        RemoveLeftovers(leftovers, taken, problem);
    }
    if (*fromFile) {
        CheckWritable(problem);
    }
    return settings;
}

SaveOutcome SaveHostSettings(const HostSettings& settings, SaveOccasion occasion)
{
    if (!host.settingsKept.empty()) {
        return SAVE_NOT_MADE;
    }
    HostSettings stamped = settings;
    stamped.writer = PackHostVersion(MORVA_VERSION_MAJOR, MORVA_VERSION_MINOR, MORVA_VERSION_PATCH);
    std::vector<uint8_t> bytes = EncodeSettings(stamped);
    std::string error;
    if (!keptApart.empty()) {
        return WriteFileAtomically(keptApart, bytes, &error) ? SAVE_DONE
                                                             : SaveFailed(error, occasion);
    }
    // What is there now is read before the decision, and again just before
    // the replace: another host may save while the question is open. What
    // changed is decided on again, a few times, then kept apart.
    std::string temp;
    std::vector<uint8_t> now;
    bool exists = false;
    for (int round = 0;; round++) {
        DWORD code = ERROR_SUCCESS;
        std::vector<uint8_t> read;
        bool there = ReadWholeFile(host.settingsPath, &read, &code);
        if (!there && code != ERROR_FILE_NOT_FOUND) {
            if (!temp.empty()) {
                DeleteRetried(temp);
            }
            return SaveFailed(
                "It could not be read to see whether another Morva Host has saved "
                "there since: " +
                    SystemErrorText(code),
                occasion);
        }
        if (round > 0 && there == exists && read == now) {
            break;
        }
        exists = there;
        now = read;
        SaveStep step = round < 3 ? Decide(exists, now, occasion) : STEP_KEEP_APART;
        if (step != STEP_REPLACE && !temp.empty()) {
            DeleteRetried(temp);
        }
        if (step == STEP_NOTHING) {
            return SAVE_NOT_MADE;
        }
        if (step == STEP_KEEP_APART) {
            if (!KeepApart(bytes, occasion, &error)) {
                return SaveFailed(error, occasion);
            }
            if (occasion != SAVE_AT_SESSION_END) {
                std::string why =
                    round < 3 ? "was written by " + NewerHostText(now) : "kept changing";
                HostMessage("The settings file\n" + host.settingsPath + "\n" + why +
                                " while this one ran, so it is left as it is.\n\nThis "
                                "session's settings are kept apart, in\n" +
                                keptApart + "\nand go there whenever they are saved again.",
                            MB_ICONINFORMATION);
            }
            return SAVE_DONE;
        }
        if (temp.empty() && (temp = WriteTemporary(host.settingsPath, bytes, &error)).empty()) {
            return SaveFailed(error, occasion);
        }
    }
    bool asSeen = exists ? seen == SEEN_BYTES && now == seenBytes : seen == SEEN_NONE;
    std::string suffix = exists ? CopySuffix(now, asSeen) : std::string();
    // Even the file this host wrote goes to a copy as it is replaced, since
    // another host may have saved in the moment after it was read again:
    // the copy is dropped once it shows the file was still this host's.
    bool ownFile = exists && suffix.empty();
    std::string copy;
    if (!PutInPlace(temp, host.settingsPath, exists, ownFile ? ".replaced" : suffix, &copy,
                    &error)) {
        return SaveFailed(error, occasion);
    }
    std::vector<uint8_t> was;
    DWORD code = ERROR_SUCCESS;
    if (ownFile && ReadWholeFile(copy, &was, &code) && was == now) {
        DeleteRetried(copy);
    } else if (!copy.empty()) {
        HostLog("the settings file it replaced is kept as " + copy);
    }
    seen = SEEN_BYTES;
    seenBytes = bytes;
    return SAVE_DONE;
}
