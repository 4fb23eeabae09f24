// The Morva module: loaded, asked for its panel type, and let go.
#include "host/host.h"

namespace {

// An entry point the module reported; false, the user told, if not exported.
template <typename T>
bool ResolveEntryPoint(const char* name, T* proc)
{
    *proc = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(host.module, name)));
    if (!*proc) {
        HostMessage("The module\n" + host.modulePath + "\nreports the entry point \"" + name +
                        "\" but does not export it.\n\nMorva Host cannot use this module.",
                    MB_ICONERROR);
    }
    return *proc != nullptr;
}

int LoadPanelModule(const std::string& path)
{
    host.modulePath = path;
    // The module's own folder is searched for what it imports.
    host.module = LoadLibraryExW(Wide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!host.module) {
        DWORD error = GetLastError();
        HostMessage(
            "Morva Host could not load the module\n" + path + "\n\n" + SystemErrorText(error),
            MB_ICONERROR);
        return HOST_EXIT_NO_MODULE;
    }
    auto enumerate = reinterpret_cast<EnumeratePanelTypesProc>(
        reinterpret_cast<void*>(GetProcAddress(host.module, "EnumeratePanelTypes")));
    if (!enumerate) {
        HostMessage("The module\n" + path +
                        "\ndoes not export EnumeratePanelTypes, so it is not a panel-tool "
                        "module.\n\nMorva Host cannot use it.",
                    MB_ICONERROR);
        return HOST_EXIT_NO_EXPORT;
    }
    // Types are asked for until the module has none left (the bound guards
    // against one that never says so); the panel holds tools of the first.
    int count = 0;
    for (int i = 0; i < 64; i++) {
        PanelType t = {};
        if (!enumerate(t.initName, t.createName, t.cleanupName, host.instance, 0)) {
            break;
        }
        for (char* name : {t.initName, t.createName, t.cleanupName}) {
            name[sizeof t.initName - 1] = '\0';  // cut to its buffer, whatever the module wrote
        }
        if (count++ == 0) {
            host.type = t;
        }
    }
    if (count == 0) {
        HostMessage("The module\n" + path + "\noffers no panel type.", MB_ICONERROR);
        return HOST_EXIT_NO_TYPE;
    }
    PanelType& t = host.type;
    if (!ResolveEntryPoint(t.initName, &t.init) || !ResolveEntryPoint(t.createName, &t.create) ||
        !ResolveEntryPoint(t.cleanupName, &t.cleanup)) {
        return HOST_EXIT_NO_EXPORT;
    }
    PanelTypeInfo* info = nullptr;
    if (t.init(&info, 0) != &info || !info) {
        HostMessage("The module\n" + path + "\ndid not describe its panel type.", MB_ICONERROR);
        return HOST_EXIT_NO_TYPE;
    }
    t.info = info;
    return HOST_EXIT_OK;
}

}  // namespace

int OpenPanelModule(const std::string& path)
{
    int code = LoadPanelModule(path);
    if (code != HOST_EXIT_OK && host.module) {
        FreeLibrary(host.module);
        host.module = nullptr;
    }
    return code;
}

void ClosePanelModule()
{
    host.type.cleanup(0);
    FreeLibrary(host.module);
}
