// The installer dialog IDD_INSTALLER: the component choices and the reader type, one run, then
// a details button that unfolds and folds the report pane, and the restart notice on closing.
#pragma once

#include <stdint.h>
#include <windows.h>

// g_detailsState: no run yet, or after the run whether the report pane is shown.
const int32_t kDetailsNoRun = -1;
const int32_t kDetailsShown = 0;
const int32_t kDetailsHidden = 1;

extern int32_t g_collapsedHeight;  // window height down to the report pane's top edge
extern int32_t g_expandedHeight;   // window height as created from the template
extern int32_t g_detailsState;

INT_PTR CALLBACK InstallerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
