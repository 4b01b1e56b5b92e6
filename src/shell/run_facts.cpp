// RtlGetVersion is asked rather than GetVersionEx, which answers as the manifest allows.
#include "shell/run_facts.h"

#include "deploy/run_log.h"
#include "version.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

typedef LONG(WINAPI* GetVersionFunction)(OSVERSIONINFOW* version);

static OSVERSIONINFOW WindowsVersion()
{
    OSVERSIONINFOW version = {sizeof(version), 0, 0, 0, 0, {0}};
    GetVersionFunction getVersion = (GetVersionFunction)(void*)GetProcAddress(
        GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");

    if (getVersion != NULL)
        getVersion(&version);
    return version;
}

bool WindowsVersionAtLeast(DWORD major, DWORD minor)
{
    OSVERSIONINFOW version = WindowsVersion();

    return version.dwMajorVersion > major ||
           (version.dwMajorVersion == major && version.dwMinorVersion >= minor);
}

// Whether the installer runs with administrator rights, and whether as SYSTEM (as deployment
// tools run it).
static void AccountRights(bool* elevated, bool* system)
{
    HANDLE token;
    TOKEN_ELEVATION elevation = {0};
    BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size;

    *elevated = *system = false;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return;
    if (GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size))
        *elevated = elevation.TokenIsElevated != 0;
    if (GetTokenInformation(token, TokenUser, user, sizeof(user), &size))
        *system = IsWellKnownSid(((TOKEN_USER*)user)->User.Sid, WinLocalSystemSid) != 0;
    CloseHandle(token);
}

bool RunningAsSystem()
{
    bool elevated;
    bool system;

    AccountRights(&elevated, &system);
    return system;
}

static void LogAccount()
{
    wchar_t name[257] = L"?";
    DWORD size = 257;
    bool elevated;
    bool system;

    GetUserNameW(name, &size);
    AccountRights(&elevated, &system);
    LogWide(elevated ? "Konto (z prawami administratora)" : "Konto (bez praw administratora)",
            name);
    if (system)
        LogText("Konto SYSTEM: .java.policy i .opencard.properties trafią do profilu "
                "systemowego; użytkownikom wystarczą pliki w środowiskach Java");
}

void LogRunFacts(const wchar_t* media)
{
    OSVERSIONINFOW version = WindowsVersion();

    LogText("cardsetup %s", CARDSETUP_VERSION_TEXT);
    LogWide("Wiersz poleceń", GetCommandLineW());
    LogText("Windows %lu.%lu.%lu", version.dwMajorVersion, version.dwMinorVersion,
            version.dwBuildNumber);
    LogAccount();
    LogWide("Nośnik", media);
}
