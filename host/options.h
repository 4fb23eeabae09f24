// The host's command line.
#pragma once

#include <string>
#include <vector>

//   morvahost.exe [--settings FILE] [--demo DIR] [--voice N] [--device NAME] [--mouse-messages]
//                 [--help] [--version] [DLL]
struct HostOptions {
    std::string dllPath;       // the module; empty: morva.dll beside the host
    std::string settingsPath;  // empty: morvahost.settings beside the host (or, where its folder
                               // cannot be written, in the user's application data), or in DIR
                               // for a demo
    std::string demoDir;       // non-empty: run the scripted demo, writing its results here
    int voice;                 // the voice the demo applies, 0..126
    std::string device;        // the demo chooses the first MIDI output whose name holds this
    bool mouseMessages;        // the demo sends mouse messages to the tool, not system input
    bool help;
    bool version;
};

enum { DEMO_DEFAULT_VOICE = 11 };  // Vibraphone: clear attack, easy to hear in a capture

extern const char kDemoDefaultDevice[];  // the capture device beside the demo's host

// Parses the arguments after the program name. On a fault returns false and
// says why in `error`.
bool ParseHostOptions(const std::vector<std::string>& args, HostOptions* out, std::string* error);

extern const char kHostUsage[];

// "Morva Host 1.1.0": the name and the project's version, as --version shows it.
extern const char kHostVersionText[];
