// Copies msie\ocf\* below %windir%\java\lib and msie\ocfpcsc1.dll into the system directory.
// The step records what happened and forms its status only after it has left msie again.
#include "ie_components.h"

#include <direct.h>
#include <windows.h>

#include "../deploy/guarded_copy.h"
#include "../deploy/path_join.h"
#include "../deploy/text.h"
#include "../deploy/tree_copy.h"
#include "../messages.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

const char kDirectoryUnknownMessage[] = "Błąd ustalenia katalogu systemowego";

enum IeOutcome { IeNone, IeMediaMissing, IeDirectoryUnknown, IeCopyFailed };

struct IeRun {
    char path[kPathCapacity];
    char failedPath[kPathCapacity];
    CopyResult copyResult;
    IeOutcome outcome;
    bool aborted;
};

typedef UINT(WINAPI* DirectoryFunction)(LPSTR buffer, UINT size);

// The Windows or system directory joined with component; a path that would not fit counts as
// a directory not determined.
static bool FormDirectoryPath(DirectoryFunction getDirectory, char* path, const char* component)
{
    UINT length = getDirectory(path, (UINT)kPathCapacity);
    return length != 0 && length < kPathCapacity &&
           AppendPathComponent(path, kPathCapacity, component);
}

static void RecordCopy(IeRun* run, CopyResult result)
{
    run->copyResult = result;
    if (result == CopyAborted)
        run->aborted = true;
    else if (result != CopyDone)
        run->outcome = IeCopyFailed;
}

static void CopyClassTree(IeRun* run)
{
    if (!FormDirectoryPath(GetWindowsDirectoryA, run->path, "java\\lib")) {
        run->outcome = IeDirectoryUnknown;
        return;
    }
    CreateDirectoryA(run->path, NULL);  // may exist; if it cannot be made, the copy says so
    RecordCopy(run, CopyTree("ocf\\*", run->path, 1, run->failedPath));
}

static void CopyBridgeLibrary(IeRun* run)
{
    if (!FormDirectoryPath(GetSystemDirectoryA, run->path, "ocfpcsc1.dll")) {
        run->outcome = IeDirectoryUnknown;
        return;
    }
    RecordCopy(run, CopyFileGuarded("ocfpcsc1.dll", run->path, 1));
    if (run->outcome == IeCopyFailed)
        CopyText(run->failedPath, kPathCapacity, "ocfpcsc1.dll");
}

static ComponentStatus Report(const IeRun* run, char* message, uint32_t capacity)
{
    if (run->aborted) {
        CopyText(message, capacity, kAbortedMessage);
        return StatusAborted;
    }
    switch (run->outcome) {
    case IeMediaMissing:
        CopyText(message, capacity, kMediaIncompleteMessage);
        return StatusError;
    case IeDirectoryUnknown:
        CopyText(message, capacity, kDirectoryUnknownMessage);
        return StatusError;
    case IeCopyFailed:
        FormatText(message, capacity, kCopyErrorFormat, (int)run->copyResult, run->failedPath);
        return StatusError;
    default:
        return StatusOk;
    }
}

ComponentStatus InstallIeComponents(char* message, uint32_t capacity)
{
    IeRun run;

    ZeroMemory(&run, sizeof(run));
    if (_chdir("msie") != 0) {
        run.outcome = IeMediaMissing;
        return Report(&run, message, capacity);
    }
    CopyClassTree(&run);
    if (run.outcome == IeNone && !run.aborted)
        CopyBridgeLibrary(&run);
    _chdir("..");
    return Report(&run, message, capacity);
}
