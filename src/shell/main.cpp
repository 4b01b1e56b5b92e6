// The entry point: the DLL search is locked to the system directory first, since the program
// runs elevated from media that may hold planted DLLs, and the program's own folder is entered as
// the media. Then the command line decides: without arguments the welcome question and the
// dialog (a Unicode dialog, so that its template's texts keep their Polish letters on any
// Windows), unless no one can answer them; with them a quiet run, the usage, or a refusal.
#include <windows.h>

#include "deploy/run_log.h"
#include "deploy/text.h"
#include "deploy/window_text.h"
#include "resource.h"
#include "shell/command_line.h"
#include "shell/elevation.h"
#include "shell/installer_dialog.h"
#include "shell/media_folder.h"
#include "shell/quiet_run.h"
#include "shell/run_facts.h"
#include "shell/single_instance.h"
#include "shell/uninstall_run.h"
#include "shell/unattended.h"
#include "shell/window_titles.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kWelcomeText[] =
    "Za chwilę rozpocznie się instalacja i konfiguracja środowiska obsługi czytnika kart "
    "mikroprocesorowych,\ndla współpracy z przeglądarkami internetowymi: MS Internet Explorer i "
    "tych pracujących\nna bazie silnika Sun Java Plug-in (m.in. przeglądarki: Mozilla, Netscape "
    "7.x, Opera)\n\nInstalator spróbuje samodzielnie wykryć przeglądarki zainstalowane na tym "
    "komputerze i dokonać dla nich\nkonfiguracji odpowiedniego środowiska. Dlatego też należy mieć "
    "już zainstalowane przeglądarki internetowe,\nktóre mają współpracować z czytnikiem kart, lub "
    "gdy ich nie ma, opuścić ten instalator, zainstalować wymagane\nprzeglądarki i uruchomić go "
    "ponownie.\n\nCzy chcesz kontynuować instalacje ?";

static const char kUsage[] =
    "cardsetup.exe [/quiet] [/log <plik>] [/components=driver,java,ie,netscape] "
    "[/reader=1|2|auto] [/driver-args \"...\"] [/driver-timeout=<minuty>] [/norestart] "
    "[/uninstall]";

static const char kNoMediaText[] = "Nie można otworzyć folderu instalatora (zbyt długa ścieżka?).";

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

// Warns in the Application event log, where deployment tools' staff look when a log is missing.
static void ReportLogWarning(const wchar_t* text)
{
    const wchar_t* strings[] = {text};
    HANDLE source = RegisterEventSourceW(NULL, L"cardsetup");

    if (source == NULL)
        return;
    ReportEventW(source, EVENTLOG_WARNING_TYPE, 0, 1, NULL, 1, 0, strings, NULL);
    DeregisterEventSource(source);
}

// A quiet run always keeps a log: without /log, in a temporary directory (log_file.h). It is
// opened before the program leaves the current directory it was started in: a relative /log is
// the caller's. A /log that could not be made safely gives way to the default log, which the
// event log names; the log's path is then that one.
// The /log that gave way to the default log: the event log names both, and the log's path is
// the default log's from now on.
static void TakeDefaultLogForAsked(Options* options, const wchar_t* fallback)
{
    wchar_t text[2 * MAX_PATH + 128];

    StringCchPrintfW(text, 2 * MAX_PATH + 128,
                     L"cardsetup: dziennika %s nie utworzono w podanym miejscu; zapisano go "
                     L"tutaj: %s", options->log, fallback);
    ReportLogWarning(text);
    StringCchCopyW(options->log, MAX_PATH + 1, fallback);
}

static void OpenAskedLog(Options* options, const wchar_t* media)
{
    wchar_t fallback[MAX_PATH + 1];
    RunLogPlace place = RunLogNotOpened;

    if (options->log[0] != L'\0')
        place = OpenRunLog(options->log, RunningAsSystem(), fallback, MAX_PATH + 1);
    else if (options->quiet && OpenDefaultRunLog(RunningAsSystem(), options->log, MAX_PATH + 1))
        place = RunLogAsAsked;
    if (place == RunLogInDefaultPlace)
        TakeDefaultLogForAsked(options, fallback);
    if (place != RunLogNotOpened)
        LogRunFacts(media);
}

// A log that could not be written does not stop the run; the Application event log says so.
static void CloseLog(const Options* options, int exitCode)
{
    wchar_t text[MAX_PATH + 128];

    LogText("Kod wyjścia: %d", exitCode);
    if (options->log[0] != L'\0' && !RunLogComplete()) {
        StringCchPrintfW(text, MAX_PATH + 128, L"cardsetup: the log %s could not be written; "
                         L"exit code %d", options->log, exitCode);
        ReportLogWarning(text);
    }
    CloseRunLog();
}

static int ShowUsage(const Options* options, int exitCode)
{
    if (options->quiet)
        LogText("%s", kUsage);
    else
        ShowMessageBox(NULL, kUsage, CARDSETUP_WELCOME_CAPTION,
                       exitCode == 0 ? MB_ICONINFORMATION : MB_ICONERROR);
    return exitCode;
}

// The running installer's window comes to the front: its dialog, or its welcome question.
// Whether there was one: a copy in another session, or a quiet one, has none here.
static bool ShowTheRunningInstaller()
{
    static const char* const kTitles[] = {CARDSETUP_DIALOG_TITLE, CARDSETUP_WELCOME_CAPTION};

    for (const char* title : kTitles) {
        wchar_t wide[128];
        HWND window;
        WideFromText(wide, 128, title);
        if ((window = FindWindowW(L"#32770", wide)) != NULL) {
            SetForegroundWindow(window);
            return true;
        }
    }
    return false;
}

// A start that may not run says why: in the log, and interactively in a box, unless the copy at
// work came to the front.
static int RefuseToRun(const Options* options, bool rights, InstanceClaim claim)
{
    StartRefusal refusal;
    bool windowShown = rights && claim == InstanceRunning && !options->quiet &&
                       ShowTheRunningInstaller();

    RefuseStart(rights, claim, options->quiet, windowShown, &refusal);
    LogText("%s", refusal.logLine);
    if (refusal.message != NULL)
        ShowMessageBox(NULL, refusal.message, CARDSETUP_WELCOME_CAPTION, refusal.icon);
    return refusal.exitCode;
}

// Without its own folder the program has no media: it installs nothing rather than take the
// current directory for them.
static int RefuseWithoutMedia(const Options* options)
{
    LogText("Nie można wejść do folderu programu: nic nie zainstalowano");
    if (options->quiet)
        return kExitFailed;
    ShowMessageBox(NULL, kNoMediaText, CARDSETUP_WELCOME_CAPTION, MB_ICONERROR);
    return 0;
}

static int RunInteractively(HINSTANCE instance)
{
    if (ShowMessageBox(NULL, kWelcomeText, CARDSETUP_WELCOME_CAPTION, MB_YESNO) == IDYES)
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_INSTALLER), NULL, InstallerDialogProc, 0);
    return 0;
}

static int Run(HINSTANCE instance, const Options* options)
{
    InstanceLock lock;
    bool rights;
    InstanceClaim claim = ClaimTheRun(&lock, &rights);
    int exitCode;

    if (!rights || claim != InstanceClaimed) {
        ReleaseSingleInstance(&lock);
        return RefuseToRun(options, rights, claim);
    }
    if (options->driverArguments[0] != L'\0')
        SetEnvironmentVariableW(L"CARDSETUP_DRIVER_ARGUMENTS", options->driverArguments);
    if (options->uninstall)
        exitCode = RunUninstall(options);
    else
        exitCode = options->quiet ? RunQuietly(options) : RunInteractively(instance);
    ReleaseSingleInstance(&lock);
    return exitCode;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    Options options;
    wchar_t media[MAX_PATH + 1] = L"?";
    bool understood;
    bool inMedia;
    bool unattended;
    int exitCode;

    LockDllSearchToSystemDirectory();
    understood = ParseCommandLine(GetCommandLineW(), &options);
    inMedia = FindProgramFolder(media, MAX_PATH + 1);
    unattended = QuietWhereNoOneCanAnswer(&options);
    OpenAskedLog(&options, media);
    inMedia = inMedia && SetCurrentDirectoryW(media);
    if (unattended)
        LogText("%s", kUnattendedNote);
    if (!understood)
        exitCode = ShowUsage(&options, kExitBadCommandLine);
    else if (options.help)
        exitCode = ShowUsage(&options, 0);
    else if (!inMedia)
        exitCode = RefuseWithoutMedia(&options);
    else
        exitCode = Run(instance, &options);
    CloseLog(&options, exitCode);
    return exitCode;
}
