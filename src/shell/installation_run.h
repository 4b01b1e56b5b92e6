// The installation run behind the first press of "In&staluj": the ticked steps in their fixed
// order, then the report in the details pane and a status word beside each component.
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

// Runs on the dialog's thread and returns when the report is written; leaves g_detailsState
// at 1. The dialog is not resized.
void RunInstallation(HWND dialog);
