// The installation run without a window: the chosen steps in their fixed order, then the report
// in the log. The dialog, the quiet run and their tests all run it the same way; only what they
// read the choices from and show the results in differs.
#pragma once

#include <windows.h>

#include "shell/report.h"

// What a run is asked to do: the components, and the row of the reader-type table.
struct Selection {
    bool ie;
    bool netscape;
    bool java;
    bool driver;
    LRESULT readerIndex;
};

// Runs the selected steps in their fixed order; an abort in a component step ends the chain.
void RunSteps(const Selection* selection, RunResults* results);

// Composes the report into report (kReportCapacity bytes) and writes it to the log.
void ComposeAndLogReport(const RunResults* results, char* report);

// A whole run: results reset, the steps, the report composed and logged.
void RunAndReport(const Selection* selection, RunResults* results, char* report);
