// morvahost.exe: the host with its command line.
#include "host/host.h"
#include "host/options.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    host.instance = instance;
    HostOptions options;
    std::string error;
    if (!ParseHostOptions(Arguments(), &options, &error)) {
        HostMessage(error + "\n\n" + kHostUsage, MB_ICONERROR);
        return HOST_EXIT_USAGE;
    }
    if (options.version) {
        HostMessage(kHostVersionText, MB_ICONINFORMATION);
        return HOST_EXIT_OK;
    }
    if (!options.settingsPath.empty()) {
        host.settingsPath = options.settingsPath;
        host.settingsPlace = "given with --settings";
    } else {
        host.settingsPath = DefaultSettingsPath(&host.settingsPlace);
    }
    if (options.help) {
        HostMessage(std::string(kHostUsage) + "\n" + SettingsText(), MB_ICONINFORMATION);
        return HOST_EXIT_OK;
    }
    int code = OpenHost(options.dllPath, true);
    if (code == HOST_EXIT_OK) {
        RunHost();
    }
    return code;
}
