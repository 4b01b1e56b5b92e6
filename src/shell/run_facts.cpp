// RtlGetVersion is asked rather than GetVersionEx, which answers as the manifest allows.
#include "shell/run_facts.h"

#include "deploy/run_log.h"
#include "shell/elevation.h"
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

// Whether the installer runs as SYSTEM (as deployment tools run it).
bool RunningAsSystem()
{
    HANDLE token;
    BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size;
    bool system = false;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    if (GetTokenInformation(token, TokenUser, user, sizeof(user), &size))
        system = IsWellKnownSid(((TOKEN_USER*)user)->User.Sid, WinLocalSystemSid) != 0;
    CloseHandle(token);
    return system;
}

static void LogAccount()
{
    wchar_t name[257] = L"?";
    DWORD size = 257;

    GetUserNameW(name, &size);
    LogWide(HasAdministratorRights() ? "Konto (z prawami administratora)"
                                     : "Konto (bez praw administratora)",
            name);
    if (RunningAsSystem())
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
