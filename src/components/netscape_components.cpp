// Copies ns\jars\* into <install>\Program\java\classes, ns\ocfpcsc1.dll into
// <install>\Program\java\bin and ns\opencard.properties as .opencard.properties into each profile
// under the Users directory beside the install directory.
#include "components/netscape_components.h"

#include <string.h>
#include <windows.h>

#include "components/registry_text.h"
#include "deploy/component_step.h"
#include "deploy/guarded_copy.h"
#include "deploy/path_join.h"
#include "deploy/text.h"
#include "deploy/tree_copy.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kNetscapeNotFoundMessage[] = "Nie wykryto zainstalownej przeglądarki Netscape 4.x";
static const char kNoProfileCopiedMessage[] =
    "Nie skopiowano pliku opencard.properties do żadnego z profilów użytkowników przeglądarki "
    "Netscape";
static const char kProfilesIncompleteFormat[] =
    "Niepełna kopia pliku opencard.properties dla profilów użytkowników przeglądarki Netscape; "
    "kod operacji: OP%dPF%d";

static const char kNetscapeKey[] = "Software\\Netscape\\Netscape Navigator\\Main";

struct NetscapeRun {
    char path[kPathCapacity];
    char failedPath[kPathCapacity];
    size_t installLength;      // the install directory's text as read
    size_t profileRootLength;  // up to and including the backslash before the install directory
    int32_t profileCount;      // profiles found under Users
    int32_t copyCount;         // profiles that received .opencard.properties
    StepRecord step;
    bool browserNotFound;
    bool profilesIncomplete;
};

static void CutPath(NetscapeRun* run, size_t length)
{
    run->path[length] = '\0';
}

// The directory that holds the install directory, with its backslash; trailing backslashes of
// the install directory are passed over first. 0 when there is no such directory.
static size_t ProfileRootLength(const char* installDirectory, size_t length)
{
    while (length > 0 && installDirectory[length - 1] == '\\')
        length--;
    while (length > 0 && installDirectory[length - 1] != '\\')
        length--;
    return length;
}

// An install directory that is empty or has no directory above it would make every copy land
// relative to the media directory, so it counts as no browser.
size_t ReadNetscapeInstallDirectory(char* path, size_t capacity)
{
    HKEY key;
    size_t rootLength = 0;

    if (RegOpenKeyExA(HKEY_CURRENT_USER, kNetscapeKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;
    if (ReadRegistryText(key, "Install Directory", path, capacity))
        rootLength = ProfileRootLength(path, strlen(path));
    RegCloseKey(key);
    return rootLength;
}

bool IsNetscapeProfile(const WIN32_FIND_DATAA* entry)
{
    if (strcmp(entry->cFileName, ".") == 0 || strcmp(entry->cFileName, "..") == 0)
        return false;
    return entry->dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY;
}

// A classes path that would not fit is reported like a directory that cannot be made, naming
// the install directory.
static void CopyClassArchives(NetscapeRun* run)
{
    if (!AppendPathComponent(run->path, sizeof(run->path), "Program\\java\\classes")) {
        NoteRequiredCopy(&run->step, CopyDirFailed);
        CopyText(run->failedPath, sizeof(run->failedPath), run->path);
        return;
    }
    NoteRequiredCopy(&run->step, CopyTree("jars\\*", run->path, 1, run->failedPath));
}

static void CopyBridgeLibrary(NetscapeRun* run)
{
    CutPath(run, run->installLength);
    if (AppendPathComponent(run->path, sizeof(run->path), "Program\\java\\bin\\ocfpcsc1.dll"))
        NoteRequiredCopy(&run->step, CopyFileGuarded("ocfpcsc1.dll", run->path, 0));
    else
        NoteRequiredCopy(&run->step, CopyFailed);
    if (run->step.failedCopy != CopyDone)
        CopyText(run->failedPath, sizeof(run->failedPath), "ocfpcsc1.dll");
}

// A profile whose destination would not fit is counted but not copied to.
static void CopyToProfile(NetscapeRun* run, size_t profileBase, const char* profileName)
{
    run->profileCount++;
    CutPath(run, profileBase);
    if (!AppendPathComponent(run->path, sizeof(run->path), profileName) ||
        !AppendPathComponent(run->path, sizeof(run->path), ".opencard.properties"))
        return;
    if (NoteCopy(&run->step, CopyFileGuarded("opencard.properties", run->path, 0)))
        run->copyCount++;
}

static void VisitProfiles(NetscapeRun* run, HANDLE find, WIN32_FIND_DATAA* entry,
                          size_t profileBase)
{
    do {
        if (IsNetscapeProfile(entry))
            CopyToProfile(run, profileBase, entry->cFileName);
    } while (!run->step.aborted && FindNextFileA(find, entry));
}

static void CopyToProfiles(NetscapeRun* run)
{
    WIN32_FIND_DATAA entry;
    HANDLE find;
    size_t profileBase;

    CutPath(run, run->profileRootLength);
    if (AppendPathComponent(run->path, sizeof(run->path), "Users\\*")) {
        profileBase = strlen(run->path) - 1;
        find = FindFirstFileA(run->path, &entry);
        if (find != INVALID_HANDLE_VALUE) {
            VisitProfiles(run, find, &entry, profileBase);
            FindClose(find);
        }
    }
    if (!run->step.aborted && (run->profileCount <= 0 || run->copyCount < run->profileCount))
        run->profilesIncomplete = true;
}

static void Deploy(NetscapeRun* run)
{
    run->profileRootLength = ReadNetscapeInstallDirectory(run->path, sizeof(run->path));
    if (run->profileRootLength == 0) {
        run->browserNotFound = true;
        return;
    }
    run->installLength = strlen(run->path);
    CopyClassArchives(run);
    if (StepGoesOn(&run->step))
        CopyBridgeLibrary(run);
    if (StepGoesOn(&run->step))
        CopyToProfiles(run);
}

static ComponentStatus Report(const NetscapeRun* run, char* message, uint32_t capacity)
{
    ComponentStatus status;

    if (ReportAbortOrIncompleteMedia(&run->step, message, capacity, &status))
        return status;
    if (run->browserNotFound) {
        CopyText(message, capacity, kNetscapeNotFoundMessage);
        return StatusWarning;
    }
    if (ReportFailedCopy(&run->step, run->failedPath, message, capacity, &status))
        return status;
    if (run->profilesIncomplete && run->profileCount <= 0) {
        CopyText(message, capacity, kNoProfileCopiedMessage);
        return StatusError;
    }
    if (run->profilesIncomplete) {
        FormatText(message, capacity, kProfilesIncompleteFormat, run->copyCount,
                   run->profileCount);
        return StatusWarning;
    }
    return StatusOk;
}

ComponentStatus InstallNetscapeComponents(char* message, uint32_t capacity)
{
    NetscapeRun run;

    ZeroMemory(&run, sizeof(run));
    if (!EnterStepDirectory(&run.step, "ns"))
        return Report(&run, message, capacity);
    Deploy(&run);
    LeaveStepDirectory();
    return Report(&run, message, capacity);
}
