// The pieces that the Internet Explorer, Netscape, Java and driver steps share, so each step
// writes only what is its own: where it copies to and how its counts read in the report.
#include "deploy/component_step.h"

#include <direct.h>

#include "deploy/messages.h"
#include "deploy/path_join.h"
#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

bool EnterStepDirectory(StepRecord* record, const char* directory)
{
    if (_chdir(directory) == 0)
        return true;
    record->mediaIncomplete = true;
    return false;
}

void LeaveStepDirectory()
{
    _chdir("..");
}

bool NoteCopy(StepRecord* record, CopyResult result)
{
    if (result == CopyAborted)
        record->aborted = true;
    return result == CopyDone;
}

bool NoteRequiredCopy(StepRecord* record, CopyResult result)
{
    if (result != CopyDone && result != CopyAborted)
        record->failedCopy = result;
    return NoteCopy(record, result);
}

bool StepGoesOn(const StepRecord* record)
{
    return !record->aborted && record->failedCopy == CopyDone;
}

bool ReportAbortOrIncompleteMedia(const StepRecord* record, char* message, uint32_t capacity,
                                  ComponentStatus* status)
{
    if (record->aborted) {
        CopyText(message, capacity, kAbortedMessage);
        *status = StatusAborted;
        return true;
    }
    if (record->mediaIncomplete) {
        CopyText(message, capacity, kMediaIncompleteMessage);
        *status = StatusError;
        return true;
    }
    return false;
}

bool ReportFailedCopy(const StepRecord* record, const char* failedPath, char* message,
                      uint32_t capacity, ComponentStatus* status)
{
    char shownPath[kPathCapacity];

    if (record->failedCopy == CopyDone)
        return false;
    TextFromPath(shownPath, sizeof(shownPath), failedPath);
    FormatText(message, capacity, kCopyErrorFormat, (int)record->failedCopy, shownPath);
    *status = StatusError;
    return true;
}
