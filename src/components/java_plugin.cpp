// Serves every Java home registered under the runtime and the development kit keys in turn.
// One home's paths and commands are all joined onto one buffer that holds the home behind a
// double quote: files use it from the home on, commands whole, so a home with spaces stays one
// program name.
#include "components/java_plugin.h"

#include <string.h>
#include <windows.h>

#include "components/java_command.h"
#include "components/java_homes.h"
#include "deploy/component_step.h"
#include "deploy/file_replace.h"
#include "deploy/guarded_copy.h"
#include "deploy/path_join.h"
#include "deploy/run_changes.h"
#include "deploy/run_log.h"
#include "deploy/run_record.h"
#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kNoJavaFoundMessage[] =
    "Nie wykryto instalacji środowiska JRE/JDK lub aplikacja nie była uruchamiona z prawami "
    "administratora";
static const char kNoJavaServedMessage[] = "Nie zainstalowano sterowników OCF dla żadnego środowiska JRE/JDK";
static const char kJavaIncompleteFormat[] =
    "Niepełna instalacja sterowników OCF dla środowiska JRE/JDK; kod operacji: VM%dOL%dOP%dJP%d";
static const char kSystemLibraryMessage[] =
    "Błąd kopiowania biblioteki obsługi czytników PC/SC: ocfpcsc1.dll";

// A home of up to 261 characters and its terminator, behind the opening quote.
static const size_t kJavaHomeCapacity = 262;
static const size_t kWorkingCapacity = kJavaHomeCapacity + 1;
static const size_t kBackupNameCapacity = 260;
static const char kHomeLibrary[] = "lib\\ext\\ocfpcsc1.dll";
static const size_t kLastJreHomeCapacity = kJavaHomeCapacity + 1 + sizeof(kHomeLibrary);

static const char kLauncher[] = "bin\\java.exe";
// Each text closes the quote that opens the working buffer, so the launcher's path stays one
// program name for the launcher's own parsing of its command line.
static const char* const kPolicyCommands[] = {
    "bin\\java.exe\" CopyPolicyFile .java.policy",
    "bin\\java.exe\" CopyPolicyFile .opencard.properties",
};

struct JavaRun {
    char working[kWorkingCapacity];
    char launcher[kWorkingCapacity];
    size_t homeEnd;  // the working buffer's length with the quote and the home as read
    char lastJreHome[kLastJreHomeCapacity];
    char backupName[kBackupNameCapacity];
    int32_t vm;                  // homes whose JavaHome was read
    int32_t ol;                  // homes that received ocf1.2.jar
    int32_t op;                  // homes that received opencard.properties
    int32_t jp;                  // CopyPolicyFile commands that succeeded, and policies replaced
    int32_t systemLibraryCount;  // bridge copies into the system directory
    bool userFilesWritten;       // both commands succeeded in one home
    StepRecord step;
    bool noJavaFound;
};

static const char* HomePath(const JavaRun* run)
{
    return run->working + 1;
}

// Cuts the working buffer back to the quoted home and joins component to it. A join that would
// not fit is refused, and the operation it was for counts as not done.
static bool JoinToHome(JavaRun* run, const char* component)
{
    run->working[run->homeEnd] = '\0';
    return AppendPathComponent(run->working, sizeof(run->working), component) != 0;
}

enum FilePresence { FileAbsent, FilePresent, FileBlocked };

// Only a clear "not found" means absent; a directory in the file's place, or a file that cannot
// be examined, blocks it.
static FilePresence ProbeFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    DWORD error;

    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileBlocked : FilePresent;
    error = GetLastError();
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? FileAbsent
                                                                            : FileBlocked;
}

static void CopyIntoHome(JavaRun* run, const char* source, const char* component,
                         int32_t* doneCount)
{
    if (!JoinToHome(run, component))
        return;
    if (NoteCopy(&run->step, CopyFileGuarded(source, HomePath(run), 0)))
        (*doneCount)++;
}

// Whether the user's files hold the media's bytes already, so that the commands change nothing:
// the profile is the home that the launcher gives CopyPolicyFile.
static bool UserFilesInPlace()
{
    static const char* const kUserFiles[][2] = {{".java.policy", "java.policy"},
                                                {".opencard.properties", "opencard.properties"}};
    wchar_t profile[MAX_PATH + 1];
    char home[kPathCapacity];
    char file[kPathCapacity];
    DWORD length = GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH + 1);

    if (length == 0 || length > MAX_PATH || !PathFromWide(home, sizeof(home), profile))
        return false;
    for (const auto& names : kUserFiles) {
        if (!CopyText(file, sizeof(file), home) ||
            !AppendPathComponent(file, sizeof(file), names[0]) ||
            !SameFileContent(names[1], file))
            return false;
    }
    return true;
}

// The user's .java.policy and .opencard.properties are written only by the two commands, so they
// run in each home until one home has run both. They start in sun, the current directory.
// No file name holds a double quote, and inside a command one would end the program name early.
static void RunPolicyCommands(JavaRun* run)
{
    int succeeded = 0;
    bool inPlace;

    if (run->userFilesWritten || strchr(HomePath(run), '"') != NULL || !JoinToHome(run, kLauncher))
        return;
    inPlace = UserFilesInPlace();
    CopyText(run->launcher, sizeof(run->launcher), HomePath(run));
    for (const char* command : kPolicyCommands) {
        if (JoinToHome(run, command) && RunJavaCommand(run->launcher, run->working))
            succeeded++;
    }
    run->jp += succeeded;
    run->userFilesWritten = succeeded == 2;
    if (succeeded > 0 && !inPlace)
        NoteChange();
}

// A policy that someone changed after an earlier run (neither the installer's nor the saved
// original) is kept beside it under the first free numbered name before it is replaced; a copy
// kept already with the same bytes is enough. False when it could not be kept.
static bool KeepEditAside(const char* policy)
{
    char kept[kBackupNameCapacity];
    DWORD error;

    for (int number = 1; number < 100; number++) {
        if (!FormatText(kept, sizeof(kept), "%s.ocf-edit%d", policy, number))
            return false;
        error = PlaceNewCopy(policy, kept);
        if (error == ERROR_ALREADY_EXISTS && SameFileContent(policy, kept)) {
            NoteEditKeptAside(kept, policy);
            return true;
        }
        if (error == ERROR_SUCCESS) {
            NoteEditKeptAside(kept, policy);
            LogPaths("Zmieniony plik zasad zachowano jako", policy, kept);
            return true;
        }
        if (error != ERROR_ALREADY_EXISTS)
            break;
    }
    LogPaths("Nie zachowano zmienionego pliku zasad, pozostawiono", policy);
    return false;
}

// The home's own policy is saved once, beside it, and the backup appears only whole; a backup
// that is there already holds the policy from before the first run and is never replaced.
// Returns whether the policy may now be replaced: not when the home has a policy of its own, or
// a changed one, that is not safely saved.
static bool BackUpOwnPolicy(JavaRun* run, const char* policy)
{
    FilePresence policyPresence = ProbeFile(policy);
    FilePresence backupPresence;

    if (policyPresence == FileAbsent)
        return true;
    if (!FormatText(run->backupName, sizeof(run->backupName), "%s.ocf-bak", policy))
        return false;
    backupPresence = ProbeFile(run->backupName);
    if (backupPresence == FilePresent) {
        NoteBackupMade(run->backupName, policy);
        LogPaths("Kopia zapasowa jest już, zachowana", run->backupName);
        return SameFileContent("java.policy", policy) ||
               SameFileContent(run->backupName, policy) || KeepEditAside(policy);
    }
    if (backupPresence == FileBlocked || policyPresence == FileBlocked)
        return false;
    if (PlaceNewCopy(policy, run->backupName) != ERROR_SUCCESS) {
        LogPaths("Nie zachowano pliku zasad, pozostawiono", policy);
        return false;
    }
    NoteBackupMade(run->backupName, policy);
    LogPaths("Zachowano", policy, run->backupName);
    return true;
}

// A policy in use is never left to be replaced at the restart: someone may edit it before then,
// and the edit would be lost unseen. It stays, and the run says so.
static void ReplacePolicy(JavaRun* run, const JavaFamily* family)
{
    if (!JoinToHome(run, family->policyPath) || !BackUpOwnPolicy(run, HomePath(run)))
        return;
    if (NoteCopy(&run->step, CopyFileGuardedNow("java.policy", HomePath(run))))
        run->jp++;
}

// A home is counted once its value is read, even when its paths turn out too long to serve.
static bool ServeHome(void* context, const JavaFamily* family)
{
    JavaRun* run = (JavaRun*)context;

    run->homeEnd = strlen(run->working);
    run->vm++;
    LogPaths(family->isRuntime ? "Środowisko JRE" : "Środowisko JDK", HomePath(run));
    if (family->isRuntime)
        CopyText(run->lastJreHome, sizeof(run->lastJreHome), HomePath(run));
    CopyIntoHome(run, "ocf1.2.jar", family->libraryPath, &run->ol);
    if (!run->step.aborted)
        CopyIntoHome(run, "opencard.properties", family->propertiesPath, &run->op);
    if (!run->step.aborted) {
        RunPolicyCommands(run);
        ReplacePolicy(run, family);
    }
    return !run->step.aborted;
}

// Each home is read behind the working buffer's opening quote.
static void ServeRegisteredHomes(JavaRun* run)
{
    run->working[0] = '"';
    run->noJavaFound = !ForEachJavaHome(run->working + 1, kJavaHomeCapacity, ServeHome, run);
}

// The copy into the last runtime read is a convenience: its outcome counts nowhere, and there
// is none to make when no runtime was read.
static void CopyIntoLastRuntime(JavaRun* run)
{
    if (run->lastJreHome[0] == '\0' ||
        !AppendPathComponent(run->lastJreHome, sizeof(run->lastJreHome), kHomeLibrary))
        return;
    CopyFileGuarded("ocfpcsc1.dll", run->lastJreHome, 0);
}

static void CopySystemLibraries(JavaRun* run)
{
    if (!DirectoryPath(GetSystemDirectoryW, run->working, sizeof(run->working)))
        return;
    if (AppendPathComponent(run->working, sizeof(run->working), "ocfpcsc1.dll") &&
        NoteCopy(&run->step, CopyFileGuarded("ocfpcsc1.dll", run->working, 1)))
        run->systemLibraryCount++;
    CopyIntoLastRuntime(run);
}

static ComponentStatus Report(const JavaRun* run, char* message, uint32_t capacity)
{
    ComponentStatus status;

    if (ReportAbortOrIncompleteMedia(&run->step, message, capacity, &status))
        return status;
    if (run->noJavaFound) {
        CopyText(message, capacity, kNoJavaFoundMessage);
        return StatusWarning;
    }
    if (run->vm == 0) {
        CopyText(message, capacity, kNoJavaServedMessage);
        return StatusError;
    }
    // Without the user's files the plug-in has no permissions, however many policies were copied.
    if (run->ol < run->vm || run->op < run->vm || run->jp < run->vm || !run->userFilesWritten) {
        FormatText(message, capacity, kJavaIncompleteFormat, run->vm, run->ol, run->op, run->jp);
        return StatusWarning;
    }
    if (run->systemLibraryCount == 0) {
        CopyText(message, capacity, kSystemLibraryMessage);
        return StatusError;
    }
    return StatusOk;
}

ComponentStatus InstallJavaPluginComponents(char* message, uint32_t capacity)
{
    JavaRun run;

    ZeroMemory(&run, sizeof(run));
    if (!EnterStepDirectory(&run.step, "sun"))
        return Report(&run, message, capacity);
    ServeRegisteredHomes(&run);
    if (!run.step.aborted)
        CopySystemLibraries(&run);
    LeaveStepDirectory();
    return Report(&run, message, capacity);
}
