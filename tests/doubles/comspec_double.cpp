// Stands in for the command interpreter named by COMSPEC: it appends its whole command line to
// the file that CARDSETUP_COMSPEC_LOG names, then hands the same arguments to the real cmd.exe
// and exits with its status, so the commands really run.
#include <windows.h>

#include <stdio.h>

// The command line after the program's own name, from the blank that follows it.
static const char* Arguments(const char* commandLine)
{
    const char* p = commandLine;

    if (*p == '"') {
        for (p++; *p != '\0' && *p != '"'; p++) {
        }
        if (*p == '"')
            p++;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t')
            p++;
    }
    return p;
}

static void Record(const char* commandLine)
{
    char log[MAX_PATH + 1];
    FILE* file;

    if (GetEnvironmentVariableA("CARDSETUP_COMSPEC_LOG", log, sizeof(log)) == 0)
        return;
    file = fopen(log, "a");
    if (file == NULL)
        return;
    fprintf(file, "%s\n", commandLine);
    fclose(file);
}

int main()
{
    const char* commandLine = GetCommandLineA();
    char systemDirectory[MAX_PATH + 1];
    char interpreter[MAX_PATH + 16];
    char forwarded[8192];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DWORD status = 98;

    Record(commandLine);
    GetSystemDirectoryA(systemDirectory, sizeof(systemDirectory));
    snprintf(interpreter, sizeof(interpreter), "%s\\cmd.exe", systemDirectory);
    snprintf(forwarded, sizeof(forwarded), "cmd.exe%s", Arguments(commandLine));
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    if (!CreateProcessA(interpreter, forwarded, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &process))
        return 97;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)status;
}
