// The summary of one installation run: each step's status and message, and the report text
// composed from them in the order the user reads it, which differs from the order of the run.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "deploy/status.h"

// Six message buffers' worth: the longest report, every section present with a full message,
// takes 3239 bytes with its terminator.
const size_t kReportCapacity = 3552;

struct StepOutcome {
    ComponentStatus status;
    char message[kMessageCapacity];
};

struct RunResults {
    int32_t staleJarResult;  // RemoveStaleOcfJar's flag: 0 means the old library stayed
    char staleJarMessage[kMessageCapacity];
    StepOutcome driver;
    unsigned long driverPackageExitCode;  // the awaited driver package's; 0 when none ended
    StepOutcome ie;
    StepOutcome netscape;
    StepOutcome java;
};

// Every step not run, a successful removal, all buffers empty.
void ResetRunResults(RunResults* results);

// Whether a step's status gets a section and a label: not for a step that did not run or that
// the user aborted.
bool StatusIsReported(ComponentStatus status);

// The one word beside a reported component: "OK", "BŁĄD" or "UWAGA".
const char* StatusLabel(ComponentStatus status);

// Composes the report into report (capacity bytes): the failed removal, then the driver,
// Internet Explorer, Netscape 4.x and Java Plug-in sections, each ending in an empty line.
void ComposeReport(const RunResults* results, char* report, size_t capacity);
