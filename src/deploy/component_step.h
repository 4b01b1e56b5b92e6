// What every component step shares: it works inside its own media subdirectory and goes back
// before it forms its result, an Abort chosen in a copy ends its work, and its report opens with
// that abort and then with media it could not enter.
#pragma once

#include <stdint.h>

#include "deploy/status.h"

struct StepRecord {
    bool aborted;            // the user chose Abort in a copy-conflict prompt
    bool mediaIncomplete;    // the step's media subdirectory could not be entered
    CopyResult failedCopy;   // a required copy that failed otherwise; CopyDone while none has
};

// Enters the step's media subdirectory; when it cannot, the record says the media are incomplete.
bool EnterStepDirectory(StepRecord* record, const char* directory);
// Goes back to the installation media directory.
void LeaveStepDirectory();

// A copy that only counts: Abort marks the step aborted. True when the file was copied.
bool NoteCopy(StepRecord* record, CopyResult result);
// A copy without which the step cannot go on: as NoteCopy, and any other failure is kept in
// failedCopy for the report.
bool NoteRequiredCopy(StepRecord* record, CopyResult result);
// Whether the step goes on: no Abort and no required copy failed.
bool StepGoesOn(const StepRecord* record);

// The first rules of every step's report: an abort, then incomplete media. True when one
// applies; status then holds the result and message (when given) its text.
bool ReportAbortOrIncompleteMedia(const StepRecord* record, char* message, uint32_t capacity,
                                  ComponentStatus* status);

// A required copy that failed: StatusError, and the copy-error text naming the result and the
// path at which the copy stopped, that path shown in the report's code page. True when it applies.
bool ReportFailedCopy(const StepRecord* record, const char* failedPath, char* message,
                      uint32_t capacity, ComponentStatus* status);
