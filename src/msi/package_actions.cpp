// The custom actions of the MSI package. Deferred, as the system, they run the installed
// program quietly to install or take back the product; the program's "restart needed" is handed
// to an immediate action after InstallFinalize, the only place Windows Installer lets an action
// ask for the restart (a deferred action may not call MsiSetMode).
#include "msi/package_actions.h"

#include <msiquery.h>

#include "shell/quiet_run.h"  // the program's exit codes, only its constants
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

// Present (volatile: gone with the restart) when a run of the program asked for a restart.
// Only an administrator can create it, so nobody else can make the package report 3010.
static const wchar_t kRestartKey[] = L"SOFTWARE\\cardsetup restart needed";
static const REGSAM kView = KEY_WOW64_64KEY;

// Another copy of the program holds its lock: tried again every 10 s for 5 minutes.
static const DWORD kBusyRetryWaitMs = 10 * 1000;
static const int kBusyRetries = 30;

UINT PackageResultOf(DWORD exitCode, bool* restartNeeded)
{
    *restartNeeded =
        exitCode == (DWORD)kExitRestartNeeded || exitCode == (DWORD)kExitRestartStarted;
    if (exitCode == (DWORD)kExitNothingDone || *restartNeeded)
        return ERROR_SUCCESS;
    return ERROR_INSTALL_FAILURE;
}

bool ProgramCommandLine(const wchar_t* data, const wchar_t* switches, bool withOptions,
                        wchar_t* commandLine, size_t capacity)
{
    const wchar_t* bar = wcschr(data, L'|');
    const wchar_t* options = bar && withOptions ? bar + 1 : L"";
    size_t folderLength = bar ? (size_t)(bar - data) : wcslen(data);

    if (folderLength == 0 || (bar && wcschr(bar + 1, L'|')))
        return false;
    // "<folder>cardsetup.exe": the folder as Windows Installer formats it ends in a backslash.
    const wchar_t* separator = data[folderLength - 1] == L'\\' ? L"" : L"\\";
    return SUCCEEDED(StringCchPrintfW(commandLine, capacity, L"\"%.*s%scardsetup.exe\" %s%s%s",
                                      (int)folderLength, data, separator, switches,
                                      *options ? L" " : L"", options));
}

// Writes a line into the package's log (msiexec /l*v).
static void LogLine(MSIHANDLE install, const wchar_t* text)
{
    MSIHANDLE record = MsiCreateRecord(1);

    if (!record)
        return;
    MsiRecordSetStringW(record, 0, text);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
    MsiCloseHandle(record);
}

// The program's exit code, or false when it could not be started.
static bool RunProgram(wchar_t* commandLine, DWORD* exitCode)
{
    STARTUPINFOW startup = {};
    PROCESS_INFORMATION process = {};

    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    bool known = GetExitCodeProcess(process.hProcess, exitCode) != FALSE;
    CloseHandle(process.hProcess);
    return known;
}

// Runs the program until it does not answer that another copy is at work, at most kBusyRetries
// times more: Windows Installer takes no 1618 from an action, only success or failure.
static bool RunProgramWhenFree(MSIHANDLE install, wchar_t* commandLine, DWORD* exitCode)
{
    wchar_t line[64];

    for (int attempt = 0;; attempt++) {
        if (!RunProgram(commandLine, exitCode))
            return false;
        if (*exitCode != (DWORD)kExitAlreadyRunning || attempt == kBusyRetries)
            return true;
        StringCchPrintfW(line, 64, L"cardsetup: another copy is at work; again in %lu s",
                         kBusyRetryWaitMs / 1000);
        LogLine(install, line);
        Sleep(kBusyRetryWaitMs);
    }
}

static void NoteRestartNeeded()
{
    HKEY key = nullptr;

    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRestartKey, 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_WRITE | kView, nullptr, &key, nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}

// Runs "<folder>cardsetup.exe" with the switches, and the options that CustomActionData carries
// ("<folder>|<options>") when asked, and gives its result as an action's.
static UINT RunInstalledProgram(MSIHANDLE install, const wchar_t* switches, bool withOptions)
{
    wchar_t data[2 * MAX_PATH + 1024];
    wchar_t commandLine[2 * MAX_PATH + 1100];
    wchar_t line[2 * MAX_PATH + 1200];
    DWORD size = ARRAYSIZE(data);
    DWORD exitCode = 0;
    bool restartNeeded = false;

    if (MsiGetPropertyW(install, L"CustomActionData", data, &size) != ERROR_SUCCESS ||
        !ProgramCommandLine(data, switches, withOptions, commandLine, ARRAYSIZE(commandLine))) {
        LogLine(install, L"cardsetup: the action's data are missing or too long");
        return ERROR_INSTALL_FAILURE;
    }
    StringCchPrintfW(line, ARRAYSIZE(line), L"cardsetup: running %s", commandLine);
    LogLine(install, line);
    if (!RunProgramWhenFree(install, commandLine, &exitCode)) {
        StringCchPrintfW(line, ARRAYSIZE(line), L"cardsetup: not started (error %lu)",
                         GetLastError());
        LogLine(install, line);
        return ERROR_INSTALL_FAILURE;
    }
    StringCchPrintfW(line, ARRAYSIZE(line), L"cardsetup: the program ended %lu", exitCode);
    LogLine(install, line);
    UINT result = PackageResultOf(exitCode, &restartNeeded);
    if (restartNeeded)
        NoteRestartNeeded();
    return result;
}

// A program that failed is asked at once to take back what it placed, while it and its media
// are still in the folder: Wine's msiexec removes the package's files before it runs the
// rollback action below, and the MSI's failure is to leave nothing of the product behind.
extern "C" __declspec(dllexport) UINT __stdcall RunInstall(MSIHANDLE install)
{
    UINT result = RunInstalledProgram(install, L"/quiet", true);

    if (result != ERROR_SUCCESS)
        RunInstalledProgram(install, L"/uninstall /quiet", false);
    return result;
}

extern "C" __declspec(dllexport) UINT __stdcall RunUninstall(MSIHANDLE install)
{
    return RunInstalledProgram(install, L"/uninstall /quiet", false);
}

// Rollback of RunInstall, when an action after it fails or the install is cancelled: Windows
// Installer runs it before it removes the package's files.
extern "C" __declspec(dllexport) UINT __stdcall TakeBackInstall(MSIHANDLE install)
{
    RunInstalledProgram(install, L"/uninstall /quiet", false);
    return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall AskForRestart(MSIHANDLE install)
{
    HKEY key = nullptr;

    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRestartKey, 0, KEY_READ | kView, &key) !=
        ERROR_SUCCESS)
        return ERROR_SUCCESS;
    RegCloseKey(key);
    LogLine(install, L"cardsetup: a restart is needed");
    MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
    return ERROR_SUCCESS;
}
