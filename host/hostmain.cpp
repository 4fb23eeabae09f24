// The host's run: the module, the settings, the window, and the message loop.
#include "host/host.h"

#include <commctrl.h>

int OpenHost(const std::string& modulePath, bool mayMaximize)
{
    // Property pages use up-down controls, whose class must exist first.
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);

    int code = OpenPanelModule(modulePath.empty() ? ProgramFolder() + "morva.dll" : modulePath);
    if (code != HOST_EXIT_OK) {
        return code;
    }

    bool fromFile = false;
    std::string problem;
    HostSettings settings = LoadHostSettings(&fromFile, &problem);
    if (!CreateMainWindow(settings.layout, mayMaximize)) {
        HostMessage("Morva Host could not create its window.", MB_ICONERROR);
        return HOST_EXIT_NO_WINDOW;
    }
    if (fromFile) {
        for (const SavedTool& saved : settings.tools) {
            AddTool(saved.block);
        }
    } else {
        AddTool(nullptr);
    }
    if (!problem.empty()) {
        HostMessage(problem, MB_ICONWARNING);
    }
    return HOST_EXIT_OK;
}

void RunHost()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!SheetDialogMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    ClosePanelModule();
}
