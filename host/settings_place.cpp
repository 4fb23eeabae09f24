// The settings file's place: where found, beside the program, or in app data.
#include <shlobj.h>

#include "host/host.h"

const char kFileName[] = "morvahost.settings";

std::string ChooseSettingsPath(const std::string& programFolder, const std::string& dataFolder,
                               std::string* place)
{
    // A file found is used where it is, so that its place never changes.
    std::string folder = programFolder;
    if (Readable(programFolder + kFileName)) {
        *place = "beside the program, where it was found";
    } else if (!dataFolder.empty() && Readable(dataFolder + kFileName)) {
        *place = "in your application data, where it was found";
        folder = dataFolder;
    } else if (FolderTakesFiles(programFolder)) {
        *place = "beside the program";
    } else if (dataFolder.empty()) {
        *place =
            "beside the program, whose folder cannot be written; nor is there an "
            "application data folder";
    } else {
        // The folder of its own is made now, so that a settings path whose
        // folder is missing always means one that is not there (a drive gone).
        CreateDirectoryW(Wide(dataFolder).c_str(), nullptr);
        *place = "in your application data, since the program's folder cannot be written";
        folder = dataFolder;
    }
    return folder + kFileName;
}

std::string DefaultSettingsPath(std::string* place)
{
    wchar_t data[MAX_PATH] = L"";
    HRESULT found = SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                     SHGFP_TYPE_CURRENT, data);
    return ChooseSettingsPath(ProgramFolder(),
                              SUCCEEDED(found) ? Utf8(data) + "\\Morva\\" : std::string(), place);
}
