// The Java commands run in the launcher itself. Through cmd.exe a home with "(" or "&" loses its
// quotes, AutoRun may change the directory first, and media on a network share are refused as
// the directory; an inherited CLASSPATH would replace the launcher's default class path ".", so
// CopyPolicyFile would not be found. The directory is inherited, never spelled out: its ANSI
// name may be a look-alike of the real one.
#include "components/java_command.h"

#include <wchar.h>
#include <windows.h>

#include "deploy/message_queue.h"
#include "deploy/process_start.h"
#include "deploy/run_log.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const wchar_t kClasspathPrefix[] = L"CLASSPATH=";
static const size_t kClasspathPrefixLength = sizeof(kClasspathPrefix) / sizeof(wchar_t) - 1;

static bool IsClasspath(const wchar_t* entry)
{
    return _wcsnicmp(entry, kClasspathPrefix, kClasspathPrefixLength) == 0;
}

// The length of an environment block in characters, both closing terminators included.
static size_t BlockLength(const wchar_t* block)
{
    const wchar_t* entry = block;

    while (*entry != L'\0')
        entry += wcslen(entry) + 1;
    return (size_t)(entry - block) + 1;
}

// A copy of the installer's environment (Unicode, so no name or value is altered) without
// CLASSPATH, or NULL when it cannot be made. Freed with GlobalFree.
static wchar_t* EnvironmentWithoutClasspath()
{
    wchar_t* current = GetEnvironmentStringsW();
    wchar_t* copy = NULL;
    wchar_t* out;
    size_t length;

    if (current == NULL)
        return NULL;
    length = BlockLength(current) + 1;  // room for the second terminator of an empty block
    copy = (wchar_t*)GlobalAlloc(GMEM_FIXED, length * sizeof(wchar_t));
    if (copy == NULL)
        goto done;
    out = copy;
    for (const wchar_t* entry = current; *entry != L'\0'; entry += wcslen(entry) + 1) {
        if (IsClasspath(entry))
            continue;
        size_t entryLength = wcslen(entry) + 1;
        CopyMemory(out, entry, entryLength * sizeof(wchar_t));
        out += entryLength;
    }
    *out++ = L'\0';
    *out = L'\0';

done:
    FreeEnvironmentStringsW(current);
    return copy;
}

bool RunJavaCommand(const char* launcher, char* commandLine)
{
    wchar_t* environment = EnvironmentWithoutClasspath();
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DWORD exitCode = 1;
    bool succeeded = false;

    if (environment == NULL)
        return false;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    LogPaths("Polecenie", commandLine);
    if (!g_startProcess(launcher, commandLine, NULL, NULL, FALSE,
                        CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment, NULL,
                        &startup, &process)) {
        LogText("Nie uruchomiono polecenia (błąd %lu)", GetLastError());
        goto done;
    }
    if (WaitAnsweringMessages(process.hProcess) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process.hProcess, &exitCode))
        succeeded = exitCode == 0;
    LogText("Polecenie zakończone z kodem %lu", exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

done:
    GlobalFree(environment);
    return succeeded;
}
