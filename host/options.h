// The host's command line.
#pragma once

#include <string>
#include <vector>

struct HostOptions {
    std::string dllPath;       // the module; empty: morva.dll beside the host
    std::string settingsPath;  // empty: beside the host, or in the user's application data
    bool help;
    bool version;
};

// The arguments after the program name; false, and `error` says why, on a fault.
bool ParseHostOptions(const std::vector<std::string>& args, HostOptions* out, std::string* error);

// The value after the option at args[*i], there and not empty; *i moves past it.
bool TakeOptionValue(const std::vector<std::string>& args, size_t* i, std::string* value,
                     std::string* error);

extern const char kHostUsage[];

extern const char kHostVersionText[];  // "Morva Host 1.3.0", as --version shows it
