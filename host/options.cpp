// Parsing of the host's command line.
#include "host/options.h"

#include <cstdlib>

const char kHostUsage[] =
    "Usage: morvahost.exe [--settings FILE] [--demo DIR] [--voice N] [--device NAME]\n"
    "                     [--mouse-messages] [--help] [--version] [MODULE.DLL]\n"
    "  MODULE.DLL       the Morva module (default: morva.dll beside morvahost.exe)\n"
    "  --settings FILE  where the panel and its tools are kept between runs (default:\n"
    "                   morvahost.settings beside morvahost.exe, or in %APPDATA%\\Morva\n"
    "                   where the program's folder cannot be written)\n"
    "  --demo DIR       play the scripted demo, write its results into DIR and quit\n"
    "  --voice N        the General MIDI voice the demo applies (0 to 126)\n"
    "  --device NAME    the demo chooses the first MIDI output whose name holds NAME\n"
    "                   (default: Morva Capture)\n"
    "  --mouse-messages the demo plays by sending mouse messages to the tool instead of\n"
    "                   moving and clicking the system's mouse, which a display shared\n"
    "                   with other programs would also deliver to their windows\n"
    "  --help           show this text and quit\n"
    "  --version        show the version and quit\n";

const char kHostVersionText[] = "Morva Host " MORVA_VERSION;

const char kDemoDefaultDevice[] = "Morva Capture";

namespace {

bool TakeValue(const std::vector<std::string>& args, size_t* i, std::string* value,
               std::string* error)
{
    if (*i + 1 >= args.size() || args[*i + 1].empty()) {
        *error = args[*i] + " needs a value";
        return false;
    }
    *value = args[++*i];
    return true;
}

}  // namespace

bool ParseHostOptions(const std::vector<std::string>& args, HostOptions* out, std::string* error)
{
    HostOptions options = {};
    options.voice = DEMO_DEFAULT_VOICE;
    options.device = kDemoDefaultDevice;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h" || a == "/?") {
            options.help = true;
        } else if (a == "--version") {
            options.version = true;
        } else if (a == "--settings") {
            if (!TakeValue(args, &i, &options.settingsPath, error)) {
                return false;
            }
        } else if (a == "--demo") {
            if (!TakeValue(args, &i, &options.demoDir, error)) {
                return false;
            }
        } else if (a == "--device") {
            if (!TakeValue(args, &i, &options.device, error)) {
                return false;
            }
        } else if (a == "--mouse-messages") {
            options.mouseMessages = true;
        } else if (a == "--voice") {
            std::string value;
            if (!TakeValue(args, &i, &value, error)) {
                return false;
            }
            char* end = nullptr;
            long v = strtol(value.c_str(), &end, 10);
            if (*end != '\0' || v < 0 || v > 126) {
                *error = "--voice takes a number from 0 to 126, not " + value;
                return false;
            }
            options.voice = static_cast<int>(v);
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
