// Measurements for tools/bench, taken inside Wine:
//   bench tree <source directory> <destination directory>   the installer's tree copy
//   bench run <media directory> <number of Java homes>      a default run: its time and memory
//   bench startup <program> <window title> <repeats>         start to visible first dialog
// Each prints one line of numbers that tools/bench puts into its table.
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "deploy/tree_copy.h"
#include "resource.h"
#include "support/installer_session.h"
#include "support/registry_keys.h"
#include "support/test_files.h"

namespace {

double Seconds()
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

int TreeCopy(const std::string& source, const std::string& destination)
{
    char failed[MAX_PATH + 1];
    CreateDirectoryA(destination.c_str(), NULL);
    double start = Seconds();
    CopyResult result = CopyTree((source + "\\*").c_str(), destination.c_str(), 1, failed);
    double elapsed = Seconds() - start;
    printf("tree-copy-seconds %.3f result %d\n", elapsed, (int)result);
    return result == CopyDone ? 0 : 1;
}

void MakeHomes(int count)
{
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft");
    for (int i = 0; i < count; i++) {
        std::string home = "C:\\bench\\jre" + std::to_string(i);
        JavaHomeLayout layout;
        layout.ownPolicy = "own policy " + std::to_string(i);
        MakeJavaHome(home, layout);
        SetRegistryString(HKEY_LOCAL_MACHINE,
                          "SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.8.0_" +
                              std::to_string(100 + i),
                          "JavaHome", home);
    }
}

int DefaultRun(const std::string& media, int homes)
{
    CreateDirectoryA("C:\\bench", NULL);
    MakeHomes(homes);
    InstallerSession program(media, media + "\\cardsetup.exe");
    HWND dialog = program.OpenDialog();
    if (dialog == NULL)
        return 1;
    double start = Seconds();
    PressDialogButton(dialog, IDOK);
    while (!RunHasEnded(dialog)) {  // polled every millisecond: the figure is in milliseconds
        if (Seconds() - start > 600)
            return 1;
        Sleep(1);
    }
    double elapsed = Seconds() - start;
    PROCESS_MEMORY_COUNTERS memory;
    memory.cb = sizeof(memory);
    SIZE_T peak = GetProcessMemoryInfo(program.Process(), &memory, sizeof(memory))
                      ? memory.PeakWorkingSetSize
                      : 0;
    printf("run-seconds %.3f peak-working-set %llu homes %d\n", elapsed,
           (unsigned long long)peak, homes);
    program.CloseAfterRun(dialog);
    return 0;
}

struct TitleSearch {
    DWORD processId;
    const char* title;
    bool found;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM parameter)
{
    TitleSearch* search = reinterpret_cast<TitleSearch*>(parameter);
    DWORD processId = 0;
    char title[256];
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && IsWindowVisible(window) &&
        GetWindowTextA(window, title, sizeof(title)) > 0 && lstrcmpA(title, search->title) == 0) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

// Milliseconds from CreateProcess to the first visible window with the title, or -1.
double TimeToDialog(const std::string& program, const char* title)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    std::string commandLine = "\"" + program + "\"";
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    double start = Seconds();
    if (!CreateProcessA(program.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL,
                        &startup, &process))
        return -1;
    TitleSearch search = {process.dwProcessId, title, false};
    double elapsed = -1;
    while (Seconds() - start < 30) {
        EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            elapsed = (Seconds() - start) * 1000;
            break;
        }
        Sleep(1);
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

int StartUp(const std::string& program, const char* title, int repeats)
{
    std::vector<double> times;
    for (int i = 0; i < repeats; i++) {
        double ms = TimeToDialog(program, title);
        if (ms < 0)
            return 1;
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    printf("startup-median-ms %.1f min %.1f max %.1f\n", times[times.size() / 2], times.front(),
           times.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "tree" && argc == 4)
        return TreeCopy(argv[2], argv[3]);
    if (mode == "run" && argc == 4)
        return DefaultRun(argv[2], atoi(argv[3]));
    if (mode == "startup" && argc == 5)
        return StartUp(argv[2], argv[3], atoi(argv[4]));
    fprintf(stderr, "usage: bench tree SRC DST | run MEDIA HOMES | startup PROGRAM TITLE N\n");
    return 2;
}
