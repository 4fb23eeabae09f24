// A panel-tool module for the host's tests that reports a type whose entry
// points it does not export, as a broken or mismatched module would.
#include <windows.h>

#include <cstring>

extern "C" __declspec(dllexport) BOOL WINAPI
    EnumeratePanelTypes(char* init, char* create, char* cleanup, HINSTANCE, DWORD)
{
    static bool reported;
    if (reported) {
        return FALSE;
    }
    reported = true;
    strcpy(init, "InitFakeType");
    strcpy(create, "FakeCreate");
    strcpy(cleanup, "FakeCleanup");
    return TRUE;
}
