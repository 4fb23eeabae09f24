// Paths and text, and the system's code page where the module speaks.
#include "host/host.h"

#include <shellapi.h>

#include <cstring>

// The command line in UTF-16, so that no path goes through the code page.
std::vector<std::string> Arguments()
{
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; argv && i < count; i++) {
        args.push_back(Utf8(argv[i]));
    }
    LocalFree(argv);
    return args;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ProgramFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) {
            return std::string();
        }
        if (n < path.size()) {
            path.resize(n);
            return FolderOf(Utf8(path));
        }
        path.resize(path.size() * 2);  // a long path, beyond MAX_PATH
    }
}

std::wstring Wide(const std::string& utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    return wide;
}

std::string Utf8(const std::wstring& wide)
{
    int size = static_cast<int>(wide.size());
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &utf8[0], n, nullptr, nullptr);
    return utf8;
}

std::string ModuleText(const char* field, size_t size)
{
    int n = static_cast<int>(strnlen(field, size));
    std::wstring wide(static_cast<size_t>(n), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, field, n, &wide[0], n)));
    return Utf8(wide);
}
