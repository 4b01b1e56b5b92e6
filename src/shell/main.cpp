// The entry point: the DLL search is locked to the system directory first, since the program
// runs elevated from media that may hold planted DLLs; then the welcome question and the dialog,
// a Unicode dialog, so that its template's texts keep their Polish letters on any Windows.
#include <windows.h>

#include "deploy/window_text.h"
#include "resource.h"
#include "shell/installer_dialog.h"
#include "shell/window_titles.h"

static const char kWelcomeText[] =
    "Za chwilę rozpocznie się instalacja i konfiguracja środowiska obsługi czytnika kart "
    "mikroprocesorowych,\ndla współpracy z przeglądarkami internetowymi: MS Internet Explorer i "
    "tych pracujących\nna bazie silnika Sun Java Plug-in (m.in. przeglądarki: Mozilla, Netscape "
    "7.x, Opera)\n\nInstalator spróbuje samodzielnie wykryć przeglądarki zainstalowane na tym "
    "komputerze i dokonać dla nich\nkonfiguracji odpowiedniego środowiska. Dlatego też należy mieć "
    "już zainstalowane przeglądarki internetowe,\nktóre mają współpracować z czytnikiem kart, lub "
    "gdy ich nie ma, opuścić ten instalator, zainstalować wymagane\nprzeglądarki i uruchomić go "
    "ponownie.\n\nCzy chcesz kontynuować instalacje ?";

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD flags);

// SetDefaultDllDirectories is looked up, not imported: a Windows 7 without its update lacks it
// and would refuse to start the program. There the current directory is at least taken out.
static void LockDllSearchToSystemDirectory()
{
    SetDefaultDllDirectoriesFunction setDefault = (SetDefaultDllDirectoriesFunction)(void*)
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");

    if (setDefault == NULL || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryA("");
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    LockDllSearchToSystemDirectory();
    if (ShowMessageBox(NULL, kWelcomeText, CARDSETUP_WELCOME_CAPTION, MB_YESNO) == IDYES)
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_INSTALLER), NULL, InstallerDialogProc, 0);
    return 0;
}
