// The host's command line.
#pragma once

#include <string>
#include <vector>

//   morvahost.exe [--settings FILE] [--help] [--version] [DLL]
struct HostOptions {
    std::string dllPath;       // the module; empty: morva.dll beside the host
    std::string settingsPath;  // empty: morvahost.settings beside the host (or, where its folder
                               // cannot be written, in the user's application data)
    bool help;
    bool version;
};

// Parses the arguments after the program name. On a fault returns false and
// says why in `error`.
bool ParseHostOptions(const std::vector<std::string>& args, HostOptions* out, std::string* error);

// The value after the option at args[*i], which must be there and not empty;
// *i moves past it.
bool TakeOptionValue(const std::vector<std::string>& args, size_t* i, std::string* value,
                     std::string* error);

extern const char kHostUsage[];

// "Morva Host 1.3.0": the name and the project's version, as --version shows it.
extern const char kHostVersionText[];
