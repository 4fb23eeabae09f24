// The host's state, and the hooks by which it reaches its user.
#include "host/host.h"

HostState host;
const char kHostCaption[] = "Morva Host";

namespace {

void TellByMessageBox(const std::string& text, UINT icon)
{
    MessageBoxW(host.mainWindow, Wide(text).c_str(), Wide(kHostCaption).c_str(), MB_OK | icon);
}

// The safe answer, No, is the one Enter gives.
bool ConfirmByMessageBox(const std::string& question)
{
    return MessageBoxW(host.mainWindow, Wide(question).c_str(), Wide(kHostCaption).c_str(),
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

}  // namespace

HostHooks hostHooks = {TellByMessageBox, ConfirmByMessageBox, [](const std::string&) {},
                       [](const PaintNotice*) {}};

void HostLog(const std::string& line)
{
    hostHooks.note(line);
}

void HostMessage(const std::string& text, UINT icon)
{
    hostHooks.tell(text, icon);
}
