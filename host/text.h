// Paths and text (text.cpp): UTF-8 inside the host, UTF-16 at the system's
// wide calls, so that a path outside the system's code page survives.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
// A text field of the module's, in the system's code page, cut to its size.
std::string ModuleText(const char* field, size_t size);
std::string FolderOf(const std::string& path);
std::string ProgramFolder();           // with its trailing backslash
std::vector<std::string> Arguments();  // the command line after the program's name, UTF-8
