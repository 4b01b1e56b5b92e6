// A backup comes back in one move over the installer's file, so at every moment one of the two
// is in place. A file that cannot be changed (in use, read-only) is asked about as a failed copy
// is: Abort, Retry or Ignore, or a quiet run's own decision. What an install cut off left
// half-done is taken back as well: its temporary files go, and a backup beside an unchanged
// policy comes back over it.
#include "components/ocf_removal.h"

#include <string.h>
#include <windows.h>

#include "components/java_homes.h"
#include "components/netscape_components.h"
#include "deploy/file_replace.h"
#include "deploy/guarded_copy.h"
#include "deploy/path_join.h"
#include "deploy/pending_renames.h"
#include "deploy/run_changes.h"
#include "deploy/run_log.h"
#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

struct Removal {
    RemovalCounts* counts;
    char home[kPathCapacity + 1];
    char target[kPathCapacity];
    char backup[kPathCapacity];
};

static bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static BOOL PutBack(const char* backup, const char* target)
{
    return MoveIntoPlace(backup, target) == ERROR_SUCCESS;
}

static BOOL Remove(const char*, const char* target)
{
    return DeleteFileA(target);
}

static BOOL RemoveAtRestart(const char*, const char* target)
{
    return MoveAtRestart(NULL, target) == ERROR_SUCCESS;
}

// Makes the change, asking while it cannot be made. True when it was made.
// A file in use may be changed at the next restart instead (atRestart, where not NULL), where a
// quiet run asks for it.
static bool Change(Removal* run, BOOL (*change)(const char*, const char*),
                   BOOL (*atRestart)(const char*, const char*), const char* from, const char* target)
{
    int answer = IDRETRY;

    for (int pass = 1; answer == IDRETRY || answer == IDTRYAGAIN; pass++) {
        if (change(from, target)) {
            NoteChange();
            return true;
        }
        answer = AskAboutFile(from, target, pass);
    }
    if (answer == kReplaceAtRestart && atRestart != NULL && atRestart(from, target)) {
        NoteChange();
        run->counts->atRestart++;
        LogPaths("Plik w użyciu, zmiana po ponownym uruchomieniu", target);
        return true;
    }
    if (answer == kReplaceAtRestart)
        NoteFileLeft();
    run->counts->aborted = run->counts->aborted || answer == IDABORT;
    run->counts->failed++;
    LogPaths("Nie zmieniono", target);
    return false;
}

// What waits at target for the restart is the install's, or an earlier removal's: it is taken
// back, and target is judged as it stands now.
static void TakeBackPendingChange(const char* target)
{
    RemoveLeftoverTemporaries(target);
    if (CancelPendingChanges(target))
        LogPaths("Cofnięto zmianę czekającą na ponowne uruchomienie", target);
}

// A file that could not be read cannot be told from an edit or the installer's own: it stays,
// and the run has failed, as it could not do what it was asked.
static void CannotJudge(Removal* run, const char* target)
{
    LogPaths("Nie można odczytać pliku, aby go porównać; pozostawiono", target);
    run->counts->failed++;
}

// The installer's file at target goes when it is mediaFile byte for byte; a file in use goes at
// the next restart where mayWait.
static void RemoveIfOurs(Removal* run, const char* mediaFile, const char* target, bool mayWait)
{
    ContentComparison comparison;

    TakeBackPendingChange(target);
    if (!Exists(target))
        return;
    comparison = CompareFileContent(mediaFile, target);
    if (comparison == ContentUnreadable) {
        CannotJudge(run, target);
    } else if (comparison == ContentDifferent) {
        LogPaths("Nie pochodzi z nośnika, pozostawiono", target);
        run->counts->kept++;
    } else if (Change(run, Remove, mayWait ? RemoveAtRestart : NULL, mediaFile, target)) {
        LogPaths("Usunięto", target);
        run->counts->removed++;
    }
}

// A file changed after the install stays, and so does its backup: both are named for the
// summary, as the person who changed it decides what becomes of them.
static void KeepEdited(Removal* run, const char* target)
{
    RemovalCounts* counts = run->counts;
    size_t used = strlen(counts->edited);
    char shown[kPathCapacity];

    LogPaths("Zmieniony po instalacji, pozostawiono wraz z kopią", target, run->backup);
    counts->kept++;
    TextFromPath(shown, sizeof(shown), target);
    FormatText(counts->edited + used, sizeof(counts->edited) - used, "%s\n", shown);
}

// Whether target holds what the installer may put its backup back over: its own file, or the
// backup's bytes still, as a run cut off before its replacement leaves it.
static ContentComparison MayBePutBack(Removal* run, const char* mediaFile, const char* target)
{
    ContentComparison ours = CompareFileContent(mediaFile, target);

    if (ours != ContentDifferent)
        return ours;
    return CompareFileContent(run->backup, target);
}

// A file the installer replaced gets its backup back, but only over the installer's own file:
// an edit made since is never undone. Without a backup, a file that may go (removable) goes when
// it is mediaFile byte for byte; a runtime's policy stays. None of this waits for the restart,
// since by then the file may hold an edit that nobody has seen.
static void Restore(Removal* run, const char* mediaFile, const char* target, bool removable)
{
    ContentComparison comparison = ContentSame;

    if (!FormatText(run->backup, sizeof(run->backup), "%s.ocf-bak", target))
        return;
    TakeBackPendingChange(target);
    if (Exists(run->backup)) {
        if (Exists(target))
            comparison = MayBePutBack(run, mediaFile, target);
        if (comparison == ContentUnreadable)
            CannotJudge(run, target);
        else if (comparison == ContentDifferent)
            KeepEdited(run, target);
        else if (Change(run, PutBack, NULL, run->backup, target)) {
            LogPaths("Przywrócono", target);
            run->counts->restored++;
        }
    } else if (removable) {
        RemoveIfOurs(run, mediaFile, target, false);
    } else if (Exists(target)) {
        LogPaths("Bez kopii zapasowej, pozostawiono", target);
        run->counts->kept++;
    }
}

// target := directory joined with name; false when it does not fit.
static bool Target(Removal* run, const char* directory, const char* name)
{
    return CopyText(run->target, sizeof(run->target), directory) &&
           AppendPathComponent(run->target, sizeof(run->target), name);
}

static bool TakeBackFromHome(void* context, const JavaFamily* family)
{
    Removal* run = (Removal*)context;

    LogPaths(family->isRuntime ? "Środowisko JRE" : "Środowisko JDK", run->home);
    if (Target(run, run->home, family->policyPath))
        Restore(run, "sun\\java.policy", run->target, false);
    if (Target(run, run->home, family->libraryPath))
        RemoveIfOurs(run, "sun\\ocf1.2.jar", run->target, true);
    if (Target(run, run->home, family->propertiesPath))
        RemoveIfOurs(run, "sun\\opencard.properties", run->target, true);
    if (family->isRuntime && Target(run, run->home, "lib\\ext\\ocfpcsc1.dll"))
        RemoveIfOurs(run, "sun\\ocfpcsc1.dll", run->target, true);
    return !run->counts->aborted;
}

static void TakeBackFromProfile(Removal* run)
{
    wchar_t profile[MAX_PATH + 1];
    DWORD length = GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH + 1);

    if (length == 0 || length > MAX_PATH || !PathFromWide(run->home, sizeof(run->home), profile))
        return;
    if (Target(run, run->home, ".java.policy"))
        Restore(run, "sun\\java.policy", run->target, true);
    if (!run->counts->aborted && Target(run, run->home, ".opencard.properties"))
        Restore(run, "sun\\opencard.properties", run->target, true);
}

// The copies a media tree left below a directory go file by file; the directories stay.
static void TakeBackTree(Removal* run, const char* mediaDirectory, const char* directory)
{
    char pattern[kPathCapacity];
    char mediaFile[kPathCapacity];
    char target[kPathCapacity];
    WIN32_FIND_DATAA entry;
    HANDLE find;

    if (!CopyText(pattern, sizeof(pattern), mediaDirectory) ||
        !AppendPathComponent(pattern, sizeof(pattern), "*") ||
        (find = FindFirstFileA(pattern, &entry)) == INVALID_HANDLE_VALUE)
        return;
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0 ||
            !CopyText(mediaFile, sizeof(mediaFile), mediaDirectory) ||
            !AppendPathComponent(mediaFile, sizeof(mediaFile), entry.cFileName) ||
            !CopyText(target, sizeof(target), directory) ||
            !AppendPathComponent(target, sizeof(target), entry.cFileName))
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            TakeBackTree(run, mediaFile, target);
        else
            RemoveIfOurs(run, mediaFile, target, true);
    } while (!run->counts->aborted && FindNextFileA(find, &entry));
    FindClose(find);
}

static void TakeBackFromNetscape(Removal* run)
{
    size_t root = ReadNetscapeInstallDirectory(run->home, sizeof(run->home));
    WIN32_FIND_DATAA entry;
    HANDLE find;

    if (root == 0)
        return;
    if (Target(run, run->home, "Program\\java\\classes"))
        TakeBackTree(run, "ns\\jars", run->target);
    if (Target(run, run->home, "Program\\java\\bin\\ocfpcsc1.dll"))
        RemoveIfOurs(run, "ns\\ocfpcsc1.dll", run->target, true);
    run->home[root] = '\0';
    if (!AppendPathComponent(run->home, sizeof(run->home), "Users") || !Target(run, run->home, "*") ||
        (find = FindFirstFileA(run->target, &entry)) == INVALID_HANDLE_VALUE)
        return;
    do {
        if (IsNetscapeProfile(&entry) && Target(run, run->home, entry.cFileName) &&
            AppendPathComponent(run->target, sizeof(run->target), ".opencard.properties"))
            RemoveIfOurs(run, "ns\\opencard.properties", run->target, true);
    } while (!run->counts->aborted && FindNextFileA(find, &entry));
    FindClose(find);
}

// Every file is judged against the media: without them nothing can be told apart.
static const char* const kComparedMediaFiles[] = {"sun\\java.policy", "sun\\ocf1.2.jar",
                                                  "sun\\opencard.properties", "sun\\ocfpcsc1.dll"};

static bool MediaCanBeCompared()
{
    for (const char* file : kComparedMediaFiles) {
        HANDLE handle = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
        if (handle == INVALID_HANDLE_VALUE) {
            LogPaths("Brak pliku nośnika do porównania", file);
            return false;
        }
        CloseHandle(handle);
    }
    return true;
}

void RemoveOcf(RemovalCounts* counts)
{
    Removal run;

    ZeroMemory(&run, sizeof(run));
    run.counts = counts;
    if (!MediaCanBeCompared()) {
        counts->mediaMissing = true;
        return;
    }
    ForEachJavaHome(run.home, sizeof(run.home) - 1, TakeBackFromHome, &run);
    if (!counts->aborted)
        TakeBackFromProfile(&run);
    if (!counts->aborted && DirectoryPathOf(GetSystemDirectoryW, run.target, sizeof(run.target),
                                            "ocfpcsc1.dll"))
        RemoveIfOurs(&run, SameFileContent("msie\\ocfpcsc1.dll", run.target) ? "msie\\ocfpcsc1.dll"
                                                                           : "sun\\ocfpcsc1.dll",
                     run.target, true);
    if (!counts->aborted && DirectoryPathOf(GetWindowsDirectoryW, run.home, sizeof(run.home),
                                            "java\\lib"))
        TakeBackTree(&run, "msie\\ocf", run.home);
    if (!counts->aborted)
        TakeBackFromNetscape(&run);
}
