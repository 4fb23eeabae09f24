// Parsing of the host's command line.
#include "host/options.h"

const char kHostUsage[] =
    "Usage: morvahost.exe [--settings FILE] [--help] [--version] [MODULE.DLL]\n"
    "  MODULE.DLL       the Morva module (default: morva.dll beside morvahost.exe)\n"
    "  --settings FILE  where the panel and its tools are kept between runs (default:\n"
    "                   morvahost.settings beside morvahost.exe, or in %APPDATA%\\Morva\n"
    "                   where the program's folder cannot be written)\n"
    "  --help           show this text and quit\n"
    "  --version        show the version and quit\n";

const char kHostVersionText[] = "Morva Host " MORVA_VERSION;

bool TakeOptionValue(const std::vector<std::string>& args, size_t* i, std::string* value,
                     std::string* error)
{
    if (*i + 1 >= args.size() || args[*i + 1].empty()) {
        *error = args[*i] + " needs a value";
        return false;
    }
    *value = args[++*i];
    return true;
}

bool ParseHostOptions(const std::vector<std::string>& args, HostOptions* out, std::string* error)
{
    HostOptions options = {};
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h" || a == "/?") {
            options.help = true;
        } else if (a == "--version") {
            options.version = true;
        } else if (a == "--settings") {
            if (!TakeOptionValue(args, &i, &options.settingsPath, error)) {
                return false;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            *error = "unknown option " + a;
            return false;
        } else if (!options.dllPath.empty()) {
            *error = "only one module can be given, not both " + options.dllPath + " and " + a;
            return false;
        } else {
            options.dllPath = a;
        }
    }
    *out = options;
    return true;
}
