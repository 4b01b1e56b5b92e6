// Copies msie\ocf\* below %windir%\java\lib and msie\ocfpcsc1.dll into the system directory.
// The step records what happened and forms its status only after it has left msie again.
#include "components/ie_components.h"

#include <windows.h>

#include "deploy/component_step.h"
#include "deploy/guarded_copy.h"
#include "deploy/path_join.h"
#include "deploy/text.h"
#include "deploy/tree_copy.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kDirectoryUnknownMessage[] = "Błąd ustalenia katalogu systemowego";

struct IeRun {
    char path[kPathCapacity];
    char failedPath[kPathCapacity];
    StepRecord step;
    bool directoryUnknown;  // the Windows or system directory, joined, could not be formed
};

static void CopyClassTree(IeRun* run)
{
    if (!DirectoryPathOf(GetWindowsDirectoryW, run->path, sizeof(run->path), "java\\lib")) {
        run->directoryUnknown = true;
        return;
    }
    CreateDirectoryA(run->path, NULL);  // may exist; if it cannot be made, the copy says so
    NoteRequiredCopy(&run->step, CopyTree("ocf\\*", run->path, 1, run->failedPath));
}

static void CopyBridgeLibrary(IeRun* run)
{
    if (!DirectoryPathOf(GetSystemDirectoryW, run->path, sizeof(run->path), "ocfpcsc1.dll")) {
        run->directoryUnknown = true;
        return;
    }
    if (!NoteRequiredCopy(&run->step, CopyFileGuarded("ocfpcsc1.dll", run->path, 1)) &&
        !run->step.aborted)
        CopyText(run->failedPath, kPathCapacity, "ocfpcsc1.dll");
}

static ComponentStatus Report(const IeRun* run, char* message, uint32_t capacity)
{
    ComponentStatus status;

    if (ReportAbortOrIncompleteMedia(&run->step, message, capacity, &status))
        return status;
    if (run->directoryUnknown) {
        CopyText(message, capacity, kDirectoryUnknownMessage);
        return StatusError;
    }
    if (ReportFailedCopy(&run->step, run->failedPath, message, capacity, &status))
        return status;
    return StatusOk;
}

ComponentStatus InstallIeComponents(char* message, uint32_t capacity)
{
    IeRun run;

    ZeroMemory(&run, sizeof(run));
    if (!EnterStepDirectory(&run.step, "msie"))
        return Report(&run, message, capacity);
    CopyClassTree(&run);
    if (!run.directoryUnknown && StepGoesOn(&run.step))
        CopyBridgeLibrary(&run);
    LeaveStepDirectory();
    return Report(&run, message, capacity);
}
