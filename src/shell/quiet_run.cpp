// A quiet run is the interactive one without its windows: the same steps in the same order and
// the same report, which goes to the log. What differs is set up here, before the steps run.
#include "shell/quiet_run.h"

#include "deploy/file_replace.h"
#include "deploy/guarded_copy.h"
#include "deploy/run_changes.h"
#include "deploy/run_log.h"
#include "driver/reader_driver.h"
#include "shell/installation_run.h"
#include "shell/run_facts.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

// A file in use is often let go within seconds (an antivirus scan, a browser closing).
static const int kQuietCopyAttempts = 4;
static const DWORD kQuietCopyPauseMs = 1000;

// In place of the prompt: a file that its marks or permissions protect is left exactly as it
// is; another is tried again, as a file in use is often let go within seconds. Then a file that
// another program still holds is replaced at the next restart, as Windows Installer does, and
// any other is left.
static int DecideWithoutPrompt(const char*, const char* destination, int pass, FileRefusal refusal)
{
    if (refusal != RefusalProtected && pass < kQuietCopyAttempts) {
        Sleep(kQuietCopyPauseMs);
        return IDTRYAGAIN;
    }
    if (refusal == RefusalInUse)
        return kReplaceAtRestart;
    LogPaths(refusal == RefusalProtected ? "Plik tylko do odczytu lub chroniony, pozostawiony"
                                         : "Nie można zastąpić pliku, pozostawiony",
             destination);
    NoteFileLeft();
    return IDIGNORE;
}

static bool Failed(ComponentStatus status, bool warningIsSuccess)
{
    return status == StatusError || (status == StatusWarning && !warningIsSuccess);
}

void PrepareQuietRun()
{
    g_decideConflict = DecideWithoutPrompt;
    g_awaitLauncher = true;
    SetEnvironmentVariableW(L"CARDSETUP_QUIET", L"1");  // the media's scripts wait for no key
}

// A package that found another installation at work is its own outcome, not the step's failure.
static bool StepsFailed(const RunResults* results, bool filesLeft)
{
    bool packageBusy = results->driverPackageExitCode == kPackageAnotherInstallation;

    return filesLeft || results->staleJarResult == 0 ||
           (!packageBusy && Failed(results->driver.status, true)) ||
           Failed(results->ie.status, false) || Failed(results->netscape.status, false) ||
           Failed(results->java.status, false);
}

int QuietExitCode(const RunResults* results, bool filesLeft, bool changed)
{
    switch (StepsFailed(results, filesLeft) ? (DWORD)kExitFailed : results->driverPackageExitCode) {
    case kExitFailed:
        return kExitFailed;
    case kPackageAnotherInstallation:
        return kExitAlreadyRunning;
    case kPackageRestartStarted:
        return kExitRestartStarted;
    case kPackageRestartNeeded:
        return kExitRestartNeeded;
    default:
        return changed ? kExitRestartNeeded : kExitNothingDone;
    }
}

// "auto" takes the launcher for Windows 8 and later there, the first row elsewhere.
static LRESULT ReaderRow(int requested)
{
    if (requested != kReaderRowAuto)
        return requested;
    return WindowsVersionAtLeast(6, 2) ? 1 : 0;
}

int RunQuietly(const Options* options)
{
    Selection selection = {(options->components & ComponentIe) != 0,
                           (options->components & ComponentNetscape) != 0,
                           (options->components & ComponentJava) != 0,
                           (options->components & ComponentDriver) != 0,
                           ReaderRow(options->readerRow)};
    RunResults results;
    char report[kReportCapacity];

    PrepareQuietRun();
    g_launcherTimeLimitMs = options->driverTimeLimitMs;
    RunAndReport(&selection, &results, report);
    return QuietExitCode(&results, RunLeftAFile(), RunChangedSomething());
}
