// The demo program's command line.
#pragma once

#include <string>
#include <vector>

//   morvademo.exe OUT_DIR [--voice N] [--device NAME] [--mouse-messages] [--settings FILE] [DLL]
struct DemoOptions {
    std::string outDir;        // where the results go
    std::string dllPath;       // the module; empty: morva.dll beside the program
    std::string settingsPath;  // empty: morvahost.settings in outDir
    int voice;                 // the voice the demo applies, 0..126
    std::string device;        // the demo chooses the first MIDI output whose name holds this
    bool mouseMessages;        // the demo sends mouse messages to the tool, not system input
};

enum { DEMO_DEFAULT_VOICE = 11 };  // Vibraphone: clear attack, easy to hear in a capture

extern const char kDemoDefaultDevice[];  // the capture device beside the program

// Parses the arguments after the program name. On a fault returns false and
// says why in `error`.
bool ParseDemoOptions(const std::vector<std::string>& args, DemoOptions* out, std::string* error);

extern const char kDemoUsage[];
