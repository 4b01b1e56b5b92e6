// The installation run behind the first press of "In&staluj": the ticked steps in their fixed
// order, then the report in the details pane and a status word beside each component.
#pragma once

#include <windows.h>

// Runs on the dialog's thread and returns when the report is written; leaves g_detailsState
// at 1. The dialog is not resized.
void RunInstallation(HWND dialog);
