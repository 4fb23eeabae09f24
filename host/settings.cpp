// What the host decides about its settings file at start and at each save.
// A file is written over only while it is the one this host read or wrote,
// or at the user's word; one not the host's never.
#include "host/host.h"
#include "host/options.h"

namespace {

// What this host last saw at the settings path: the bytes it read or wrote,
// none, or (the read at start failed) nothing known.
enum SeenFile { SEEN_UNKNOWN, SEEN_NONE, SEEN_BYTES };
SeenFile seen = SEEN_UNKNOWN;
std::vector<uint8_t> seenBytes;
std::string keptApart, endedApart;  // the settings kept apart: by the user, as Windows ends
bool notOurs = false;  // the file at the settings path is none of the host's: saves say so

// `why` begins what About and Save say, `what` what is wrong at start.
void KeepFileAsItIs(const std::string& why, const std::string& what, std::string* problem,
                    const std::string& starts = "starts with default settings")
{
    const std::string notSaved = "what you change in this session is not saved.";
    host.settingsKept = why + ", so it is left as it is: " + notSaved;
    AddProblem(problem, "The settings file\n" + host.settingsPath + "\n" + what +
                            "\n\nMorva Host " + starts +
                            " and leaves that file as it is: " + notSaved);
}

// A file this host can read but not write (made by the host run as
// administrator) would fail every save: said once, now.
void CheckWritable(std::string* problem)
{
    DWORD error = ERROR_SUCCESS;
    bool file = FileTakesWrites(host.settingsPath, &error);
    if ((file && FolderTakesFiles(FolderOf(host.settingsPath), &error)) ||
        (error != ERROR_ACCESS_DENIED && error != ERROR_WRITE_PROTECT)) {
        return;  // writable, or held by another program now or the like: a save will say
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

// True, with `settings` changed, when the file holds settings to use.
bool ReadSettingsFile(HostSettings* settings, bool* missing, bool* whole, std::string* problem)
{
    std::vector<uint8_t> bytes;
    DWORD error = ERROR_SUCCESS;
    *missing = *whole = false;
    if (!ReadWholeFile(host.settingsPath, &bytes, &error)) {
        if (error == ERROR_FILE_NOT_FOUND) {
            seen = SEEN_NONE;
            *missing = true;
        } else if (error == ERROR_PATH_NOT_FOUND) {
            // Its folder or drive is not there now; it may be later.
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
    // Whatever a mistyped --settings names is not the host's to touch.
    if (!BeginsAsOurs(bytes)) {
        notOurs = true;
        KeepFileAsItIs("It is not a Morva Host settings file",
                       "is not a Morva Host settings file.\n\nTo keep your changes, start Morva "
                       "Host with --settings and another file.",
                       problem);
        return false;
    }
    SettingsStatus status = DecodeSettings(bytes.data(), bytes.size(), settings);
    if (status == SETTINGS_OK) {
        seen = SEEN_BYTES;
        seenBytes = bytes;
        *whole = true;
        return true;
    }
    // A newer host's file is not damaged, only beyond this one.
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
    const char* why =
        bytes.size() > (1u << 20) ? "it is far too large" : SettingsStatusText(status);
    std::string damaged = "is damaged: " + std::string(why) + ".";
    std::string aside =
        MoveToFreeName(host.settingsPath, host.settingsPath, LeftoverSuffix(LEFT_BAD), &error);
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

// This session's settings in a file of their own beside the settings file,
// which its later saves replace; as Windows ends, one the next start tells of.
bool KeepApart(const std::vector<uint8_t>& bytes, SaveOccasion occasion, std::string* error)
{
    bool ending = occasion == SAVE_AT_SESSION_END;
    std::string& apart = ending ? endedApart : keptApart;
    if (!apart.empty()) {
        return WriteFileAtomically(apart, bytes, error);
    }
    std::string temp = WriteTemporary(host.settingsPath, bytes, error);
    if (temp.empty()) {
        return false;
    }
    DWORD code = ERROR_SUCCESS;
    apart = MoveToFreeName(temp, host.settingsPath, LeftoverSuffix(ending ? LEFT_ENDED : LEFT_KEPT),
                           &code);
    if (apart.empty()) {
        DeleteRetried(temp);
        *error = "This session's settings could not be kept apart either: " + SystemErrorText(code);
        return false;
    }
    return true;
}

// As Windows ends the session nobody can be told: the settings, or failing
// that what went wrong, are left for the next start to tell of.
SaveOutcome SaveFailed(const std::string& error, SaveOccasion occasion,
                       const std::vector<uint8_t>& bytes)
{
    if (occasion == SAVE_AT_SESSION_END) {
        std::string unused, text = kUnsavedStart + error;
        if (KeepApart(bytes, occasion, &unused)) {
            HostLog("the settings were kept apart as the session ended: " + error);
            return SAVE_DONE;
        }
        // Through a temporary file the next start knows.
        std::string temp = WriteTemporary(host.settingsPath,
                                          std::vector<uint8_t>(text.begin(), text.end()), &unused);
        if (!temp.empty()) {
            PutInPlace(temp, host.settingsPath + LeftoverSuffix(LEFT_UNSAVED), true, "", &unused,
                       &unused);
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

// The name of a copy of `bytes` as replaced: none for this host's own file.
std::string CopySuffix(const std::vector<uint8_t>& bytes, bool asSeen)
{
    HostSettings unused;
    uint32_t version = SettingsFileVersion(bytes.data(), bytes.size());
    if (DecodeSettings(bytes.data(), bytes.size(), &unused) != SETTINGS_OK) {
        return LeftoverSuffix(LEFT_BAD);
    }
    if (version < SETTINGS_VERSION) {
        return LeftoverSuffix(version == 1 ? LEFT_VERSION_1 : LEFT_VERSION_2);
    }
    return asSeen ? std::string() : LeftoverSuffix(LEFT_REPLACED);
}

SaveStep Decide(bool exists, const std::vector<uint8_t>& now, SaveOccasion occasion)
{
    if (exists ? seen == SEEN_BYTES && now == seenBytes : seen == SEEN_NONE) {
        return STEP_REPLACE;
    }
    HostSettings unused;
    bool newer =
        exists && DecodeSettings(now.data(), now.size(), &unused) == SETTINGS_NEWER_VERSION;
    // Never over a newer host's file or no settings file; nobody can be
    // asked as the session ends.
    if (newer || !BeginsAsOurs(now) || occasion == SAVE_AT_SESSION_END) {
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
    seen = SEEN_UNKNOWN;
    seenBytes.clear();
    keptApart.clear();
    endedApart.clear();
    notOurs = false;
    bool missing = false, whole = false;
    *fromFile = ReadSettingsFile(&settings, &missing, &whole, problem);
    std::string taken;
    bool allTaken = !missing || TakeBackUnfinishedSave(&seenBytes, &taken, problem);
    if (!taken.empty()) {
        DecodeSettings(seenBytes.data(), seenBytes.size(), &settings);
        seen = SEEN_BYTES;
        *fromFile = whole = true;
        AddProblem(problem, "The settings file\n" + host.settingsPath +
                                "\nwas missing or damaged, but a save that a Morva Host could not "
                                "finish had left its settings whole in\n" +
                                taken + "\nMorva Host has taken them as the settings file.");
    }
    // Only with the file whole, or none, is a temporary file no one's only copy.
    if (whole || missing) {
        RemoveLeftovers(seen == SEEN_BYTES ? &seenBytes : nullptr, problem);
    }
    if (!allTaken && taken.empty()) {
        seen = SEEN_UNKNOWN;  // what may be the only copy is not saved over unasked
    }
    if (*fromFile) {
        CheckWritable(problem);
    }
    return settings;
}

SaveOutcome SaveHostSettings(const HostSettings& settings, SaveOccasion occasion)
{
    if (!host.settingsKept.empty()) {
        if (notOurs && occasion == SAVE_BY_USER) {
            HostMessage("The settings cannot be saved to\n" + host.settingsPath + "\n\n" +
                            host.settingsKept,
                        MB_ICONINFORMATION);
        }
        return SAVE_NOT_MADE;
    }
    HostSettings stamped = settings;
    stamped.writer = PackHostVersion(MORVA_VERSION_MAJOR, MORVA_VERSION_MINOR, MORVA_VERSION_PATCH);
    std::vector<uint8_t> bytes = EncodeSettings(stamped);
    std::string error;
    if (!keptApart.empty()) {
        return WriteFileAtomically(keptApart, bytes, &error) ? SAVE_DONE
                                                             : SaveFailed(error, occasion, bytes);
    }
    // Read before deciding and again just before the replace: another host may
    // save while the question is open. Decided again, three times, then kept apart.
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
                occasion, bytes);
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
                return SaveFailed(error, occasion, bytes);
            }
            if (occasion != SAVE_AT_SESSION_END) {
                std::string why = round == 3           ? "kept changing while this one ran"
                                  : !BeginsAsOurs(now) ? "is no Morva Host settings file now"
                                                       : "was written by " + NewerHostText(now) +
                                                             " while this one ran";
                HostMessage("The settings file\n" + host.settingsPath + "\n" + why +
                                ", so it is left as it is.\n\nThis session's settings are "
                                "kept apart, in\n" +
                                keptApart + "\nand go there whenever they are saved again.",
                            MB_ICONINFORMATION);
            }
            return SAVE_DONE;
        }
        if (temp.empty() && (temp = WriteTemporary(host.settingsPath, bytes, &error)).empty()) {
            return SaveFailed(error, occasion, bytes);
        }
    }
    bool asSeen = exists ? seen == SEEN_BYTES && now == seenBytes : seen == SEEN_NONE;
    std::string suffix = exists ? CopySuffix(now, asSeen) : std::string();
    // Even this host's own file goes to a copy as it is replaced (another may
    // have saved since it was read), dropped once it shows it was this one's.
    bool ownFile = exists && suffix.empty();
    std::string copy;
    if (!PutInPlace(temp, host.settingsPath, exists, ownFile ? ".replaced" : suffix, &copy,
                    &error)) {
        return SaveFailed(error, occasion, bytes);
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
