// Reader detection through PC/SC and the launch of the vendor's driver installer. winscard.dll
// is loaded at run time from the system directory only: the installer runs elevated from media
// that may sit in a downloads folder, where a planted winscard.dll must never be picked up.
#include "driver/reader_driver.h"

#include <string.h>
#include <windows.h>

#include "deploy/component_step.h"
#include "deploy/path_join.h"
#include "deploy/process_start.h"
#include "deploy/run_changes.h"
#include "deploy/run_log.h"
#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

const ReaderTypeEntry ReaderTypeTable[kReaderTypeCount] = {
    {"GemPC(Twin,Tokens)-Win7/XP/Vista/2000-64bit", 2},
    {"GemPC(Twin,Tokens)-Win8-64bit", 5},
};

static const char kReaderFoundMessage[] = "Wykryto już zainstalowany w systemie czytnik rodziny GEMPLUS";
static const char kInvalidReaderTypeMessage[] = "Nieprawidłowy typ czytnika";
static const char kLaunchFailedFormat[] = "Błąd uruchomienia zewn. sterownika: Drivers\\%s";
static const char kLauncherFailedFormat[] =
    "Instalator sterownika zakończył się błędem %lu: Drivers\\%s";
static const char kLauncherTimedOutFormat[] =
    "Instalator sterownika nie zakończył się w wyznaczonym czasie (nadal działa): Drivers\\%s";

static const char kSearchText[] = "GEMPLUS";
static const int32_t kSearchLength = sizeof(kSearchText) - 1;

typedef LONG(WINAPI* ListReadersFunction)(ULONG_PTR context, const char* groups, char* readers,
                                          DWORD* length);

struct Launcher {
    const char* name;
    const char* package;  // the vendor's package that the media's script starts; none for a program
};

// The launcher of each reader type, indexed by the type; a type without one has no name.
static const Launcher kLaunchers[] = {
    {"twin.bat", "twin-driver.exe"},       {"410.exe", NULL},
    {"twin64.bat", "twin64-driver.exe"},   {NULL, NULL},
    {"twin8.bat", "twin8-driver.exe"},     {"twin8_64.bat", "twin8_64-driver.exe"},
};
static const ReaderType kLauncherCount = (ReaderType)(sizeof(kLaunchers) / sizeof(kLaunchers[0]));

LibraryLoader g_loadLibrary = LoadLibraryExA;
bool g_awaitLauncher = false;
DWORD g_launcherTimeLimitMs = INFINITE;

static const Launcher* FindLauncherEntry(const char* name)
{
    for (const Launcher& launcher : kLaunchers) {
        if (launcher.name != NULL && strcmp(launcher.name, name) == 0)
            return &launcher;
    }
    return NULL;
}

const char* DriverLauncherName(ReaderType readerType)
{
    return readerType >= 0 && readerType < kLauncherCount ? kLaunchers[readerType].name : NULL;
}

// A NUL folds to a space and bytes of 128 and above stay negative, so neither ever matches.
static signed char Fold(char c)
{
    return (signed char)(c | 0x20);
}

bool ReaderListContainsGemplus(const char* list, int32_t length)
{
    int32_t position = 0;
    int32_t matched = 0;

    while (position < length && matched < kSearchLength) {
        if (Fold(list[position]) == Fold(kSearchText[matched])) {
            position++;
            matched++;
        } else if (matched == 0) {
            position++;
        } else {
            position = position - matched + 1;
            matched = 0;
        }
    }
    return matched == kSearchLength;
}

// Both calls go without a context; the second may report a shorter list than the first, never
// a longer one than the block holds.
static bool ListContainsGemplus(ListReadersFunction listReaders)
{
    DWORD length = 0;
    DWORD allocated;
    char* list;
    bool found;

    if (listReaders(0, NULL, NULL, &length) != 0 || length == 0)
        return false;
    allocated = length;
    list = (char*)GlobalAlloc(GMEM_FIXED, allocated);
    if (list == NULL)
        return false;
    found = listReaders(0, NULL, list, &length) == 0 &&
            ReaderListContainsGemplus(list, (int32_t)(length < allocated ? length : allocated));
    GlobalFree(list);
    return found;
}

HMODULE LoadFromSystemDirectory(const char* name)
{
    char path[kPathCapacity];

    if (!DirectoryPathOf(GetSystemDirectoryW, path, sizeof(path), name))
        return NULL;
    return g_loadLibrary(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A Windows 7 without KB2533623 refuses the search flag with ERROR_INVALID_PARAMETER; there the
// library is loaded by its full path, never by a search that includes the media's directories.
static HMODULE LoadPcscLibrary()
{
    HMODULE library = g_loadLibrary("winscard.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);

    if (library != NULL || GetLastError() != ERROR_INVALID_PARAMETER)
        return library;
    return LoadFromSystemDirectory("winscard.dll");
}

bool DetectGemplusReader()
{
    HMODULE library;
    ListReadersFunction listReaders;
    bool found = false;

    library = LoadPcscLibrary();
    if (library == NULL) {
        LogText("PC/SC: brak biblioteki winscard.dll (błąd %lu)", GetLastError());
        return false;
    }
    listReaders = (ListReadersFunction)(void*)GetProcAddress(library, "SCardListReadersA");
    if (listReaders != NULL)
        found = ListContainsGemplus(listReaders);
    FreeLibrary(library);
    LogText(found ? "PC/SC: jest czytnik rodziny GEMPLUS" : "PC/SC: brak czytnika rodziny GEMPLUS");
    return found;
}

static bool IsBatchScript(const char* name)
{
    const char* extension = strrchr(name, '.');

    return extension != NULL && _stricmp(extension, ".bat") == 0;
}

// The full path of a file of that name in the current directory, when one is there.
static bool FileInCurrentDirectory(const char* name, char* path, size_t capacity)
{
    DWORD attributes;

    if (!CurrentDirectoryPath(path, capacity) || !AppendPathComponent(path, capacity, name))
        return false;
    attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The launcher's full path, when it is there and so is the package it starts: cmd.exe would
// start even for a missing script, and a script without its package says so only in its own
// window, while the step would report a driver that never ran.
static bool FindLauncher(const char* launcher, char* path, size_t capacity)
{
    const Launcher* entry = FindLauncherEntry(launcher);

    if (entry != NULL && entry->package != NULL &&
        !FileInCurrentDirectory(entry->package, path, capacity))
        return false;
    return FileInCurrentDirectory(launcher, path, capacity);
}

// The script's path reaches cmd.exe through a variable: text expanded from a variable is not
// expanded again, and inside the quotes "&", "^", "(" and ")" are plain characters. The doubled
// quotes outlast the rule by which /c strips an outer pair. /d skips the AutoRun commands;
// /e:on and /v:off undo machine-wide settings that the scripts' %~dp0 and a "!" depend on.
static const char kScriptVariable[] = "CARDSETUP_DRIVER_LAUNCHER";
static const char kScriptCommand[] = "cmd.exe /d /e:on /v:off /c \"\"%CARDSETUP_DRIVER_LAUNCHER%\"\"";

// A launcher that is awaited runs where no one sees it, without a console window of its own.
static DWORD LaunchFlags()
{
    return g_awaitLauncher ? CREATE_NO_WINDOW : 0;
}

static bool StartScript(const char* script, STARTUPINFOA* startup, BOOL inheritHandles,
                        PROCESS_INFORMATION* process)
{
    char interpreter[kPathCapacity];
    char commandLine[sizeof(kScriptCommand)];
    BOOL started;

    if (!DirectoryPathOf(GetSystemDirectoryW, interpreter, sizeof(interpreter), "cmd.exe") ||
        !SetEnvironmentVariableA(kScriptVariable, script))
        return false;
    CopyText(commandLine, sizeof(commandLine), kScriptCommand);
    started = g_startProcess(interpreter, commandLine, NULL, NULL, inheritHandles, LaunchFlags(),
                             NULL, NULL, startup, process);
    SetEnvironmentVariableA(kScriptVariable, NULL);
    return started != 0;
}

// A program gets the package's own switches that the scripts hand on, when they are set.
static bool StartProgram(const char* program, STARTUPINFOA* startup, BOOL inheritHandles,
                         PROCESS_INFORMATION* process)
{
    char arguments[kLongestDriverArguments] = "";
    char commandLine[kPathCapacity + 3 + kLongestDriverArguments];
    DWORD length = GetEnvironmentVariableA(kDriverArgumentsVariable, arguments, sizeof(arguments));

    if (length >= sizeof(arguments) ||
        !FormatText(commandLine, sizeof(commandLine), length ? "\"%s\" %s" : "\"%s\"%s",
                    program, arguments))
        return false;
    return g_startProcess(program, commandLine, NULL, NULL, inheritHandles, LaunchFlags(), NULL,
                          NULL, startup, process) != 0;
}

bool StartDriverLauncher(const char* launcher, STARTUPINFOA* startup, BOOL inheritHandles,
                         PROCESS_INFORMATION* process)
{
    char path[kPathCapacity];

    if (!FindLauncher(launcher, path, sizeof(path)))
        return false;
    if (IsBatchScript(launcher))
        return StartScript(path, startup, inheritHandles, process);
    return StartProgram(path, startup, inheritHandles, process);
}

enum LaunchOutcome { LauncherStarted, LauncherUnknown, LauncherNotStarted, LauncherFailed,
                     LauncherTimedOut };

struct DriverRun {
    StepRecord step;
    const char* launcher;
    LaunchOutcome outcome;
    DWORD exitCode;  // an awaited launcher's
};

bool PackageSucceeded(DWORD exitCode)
{
    return exitCode == 0 || exitCode == kPackageRestartNeeded ||
           exitCode == kPackageRestartStarted;
}

// Waits for the launcher within the time limit and takes its exit code. At the limit it is left
// running: a driver installer stopped half-way can leave the driver store broken, and it may yet
// finish on its own.
static LaunchOutcome AwaitLauncher(DriverRun* run, HANDLE process)
{
    DWORD waited = WaitForSingleObject(process, g_launcherTimeLimitMs);

    if (waited == WAIT_TIMEOUT)
        return LauncherTimedOut;
    if (waited != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &run->exitCode))
        run->exitCode = GetLastError();
    LogText("Drivers\\%s zakończył się z kodem %lu", run->launcher, run->exitCode);
    return PackageSucceeded(run->exitCode) ? LauncherStarted : LauncherFailed;
}

// Starts the launcher and, when asked to, waits for it and takes its exit code.
static LaunchOutcome StartLauncher(DriverRun* run)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    LaunchOutcome outcome = LauncherStarted;

    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    if (!StartDriverLauncher(run->launcher, &startup, FALSE, &process)) {
        LogText("Nie uruchomiono Drivers\\%s (błąd %lu)", run->launcher, GetLastError());
        return LauncherNotStarted;
    }
    LogText("Uruchomiono Drivers\\%s", run->launcher);
    if (g_awaitLauncher)
        outcome = AwaitLauncher(run, process.hProcess);
    if (outcome == LauncherStarted)
        NoteChange();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return outcome;
}

// Runs with Drivers as the current directory, where the launcher is looked up.
static void LaunchDriver(DriverRun* run, ReaderType readerType)
{
    run->launcher = DriverLauncherName(readerType);
    run->outcome = run->launcher == NULL ? LauncherUnknown : StartLauncher(run);
}

static ComponentStatus Report(const DriverRun* run, char* message, uint32_t capacity)
{
    ComponentStatus status;

    if (ReportAbortOrIncompleteMedia(&run->step, message, capacity, &status))
        return status;
    switch (run->outcome) {
    case LauncherUnknown:
        CopyText(message, capacity, kInvalidReaderTypeMessage);
        return StatusError;
    case LauncherNotStarted:
        FormatText(message, capacity, kLaunchFailedFormat, run->launcher);
        return StatusError;
    case LauncherFailed:
        FormatText(message, capacity, kLauncherFailedFormat, run->exitCode, run->launcher);
        return StatusError;
    case LauncherTimedOut:
        FormatText(message, capacity, kLauncherTimedOutFormat, run->launcher);
        return StatusError;
    default:
        return StatusOk;
    }
}

ComponentStatus InstallReaderDriver(ReaderType readerType, char* message, uint32_t capacity,
                                    DWORD* packageExitCode)
{
    DriverRun run;
    ComponentStatus status;

    if (DetectGemplusReader()) {
        CopyText(message, capacity, kReaderFoundMessage);
        return StatusWarning;
    }
    ZeroMemory(&run, sizeof(run));
    if (EnterStepDirectory(&run.step, "Drivers")) {
        LaunchDriver(&run, readerType);
        LeaveStepDirectory();
    }
    status = Report(&run, message, capacity);
    if (packageExitCode != NULL)
        *packageExitCode = run.outcome == LauncherTimedOut ? 0 : run.exitCode;
    return status;
}
