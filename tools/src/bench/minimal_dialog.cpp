// The yardstick for start-up: the least a Windows program can do before its first dialog shows,
// a message box straight from WinMain, with no resources and nothing else to set up.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    MessageBoxA(NULL, "Minimal dialog", "Minimal dialog", MB_YESNO);
    return 0;
}
