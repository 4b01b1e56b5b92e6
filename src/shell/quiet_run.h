// The installation without a window, for the deployment tools of IT staff: the components the
// command line names, no prompt (a file in use is tried again for a while, then left as it is),
// the driver package awaited, and the outcome as the exit code that those tools read.
#pragma once

#include "shell/command_line.h"
#include "shell/report.h"

// The exit codes of msiexec, which deployment tools know.
const int kExitRestartNeeded = 3010;  // every step done; the PC is to be restarted
const int kExitFailed = 1603;
const int kExitAlreadyRunning = 1618;
const int kExitBadCommandLine = 87;

// kExitFailed when a section of the report is an error, or a warning other than the driver's
// "a reader is installed already", or a file stayed where the installer's was to go; else
// kExitRestartNeeded.
int QuietExitCode(const RunResults* results, bool filesLeft);

// What a run without anyone at the screen does differently: no prompt (a file in use or
// read-only is tried again, then left as it is), the driver launcher awaited, no key awaited.
void PrepareQuietRun();

// Runs the installation as the options ask and gives its exit code.
int RunQuietly(const Options* options);
