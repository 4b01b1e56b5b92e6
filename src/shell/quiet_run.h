// The installation without a window, for the deployment tools of IT staff: the components the
// command line names, no prompt (a file in use is tried again for a while, then left as it is),
// the driver package awaited within a time limit, and the outcome as the exit code that those
// tools read.
#pragma once

#include "shell/command_line.h"
#include "shell/report.h"

// The exit codes of msiexec, which deployment tools know.
const int kExitNothingDone = 0;         // every requested step found its work done already
const int kExitRestartNeeded = 3010;    // the run changed the PC; it is to be restarted
const int kExitRestartStarted = 1641;   // the driver package has begun a restart
const int kExitFailed = 1603;
const int kExitAlreadyRunning = 1618;   // another installation is at work: try again later
const int kExitBadCommandLine = 87;

// The exit code of a quiet run. kExitFailed when a section of the report is an error (but the
// driver package's "another installation is at work"), or a warning other than the driver's "a
// reader is installed already", or a file stayed where the installer's was to go. Otherwise the
// driver package's 1618 or 1641 as it came; kExitRestartNeeded when the package asked for a
// restart or the run changed something; kExitNothingDone when it changed nothing.
int QuietExitCode(const RunResults* results, bool filesLeft, bool changed);

// What a run without anyone at the screen does differently: no prompt (a file in use or
// read-only is tried again, then left as it is), the driver launcher awaited, no key awaited.
void PrepareQuietRun();

// Runs the installation as the options ask and gives its exit code.
int RunQuietly(const Options* options);
