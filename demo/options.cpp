// Parsing of the demo program's command line.
#include "demo/options.h"

#include <cstdlib>

#include "host/options.h"

const char kDemoUsage[] =
    "Usage: morvademo.exe OUT_DIR [--voice N] [--device NAME] [--mouse-messages]\n"
    "                     [--settings FILE] [MODULE.DLL]\n"
    "  OUT_DIR          play the scripted demo, write its results into OUT_DIR and quit\n"
    "  MODULE.DLL       the Morva module (default: morva.dll beside morvademo.exe)\n"
    "  --voice N        the General MIDI voice the demo applies (0 to 126)\n"
    "  --device NAME    the demo chooses the first MIDI output whose name holds NAME\n"
    "                   (default: Morva Capture)\n"
    "  --mouse-messages the demo plays by sending mouse messages to the tool instead of\n"
    "                   moving and clicking the system's mouse, which a display shared\n"
    "                   with other programs would also deliver to their windows\n"
    "  --settings FILE  where the panel is saved (default: morvahost.settings in OUT_DIR)\n";

const char kDemoDefaultDevice[] = "Morva Capture";

bool ParseDemoOptions(const std::vector<std::string>& args, DemoOptions* out, std::string* error)
{
    DemoOptions options = {};
    options.voice = DEMO_DEFAULT_VOICE;
    options.device = kDemoDefaultDevice;
    bool dirGiven = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        std::string value;
        if (a == "--settings" || a == "--device") {
            if (!TakeOptionValue(
                    args, &i, a == "--device" ? &options.device : &options.settingsPath, error)) {
                return false;
            }
        } else if (a == "--mouse-messages") {
            options.mouseMessages = true;
        } else if (a == "--voice") {
            if (!TakeOptionValue(args, &i, &value, error)) {
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
        } else if (!dirGiven) {
            dirGiven = true;
            options.outDir = a;
        } else if (!options.dllPath.empty()) {
            *error = "only one module can be given, not both " + options.dllPath + " and " + a;
            return false;
        } else {
            options.dllPath = a;
        }
    }
    if (options.outDir.empty()) {
        *error = "the demo needs a folder for its results";
        return false;
    }
    *out = options;
    return true;
}
