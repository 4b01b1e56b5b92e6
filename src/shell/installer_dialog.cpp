// The dialog procedure and its three lasting values. The first press of "In&staluj" reads the
// choices, hands them to the window-free run and shows its results. While the run is in progress
// the dialog refuses its buttons, Escape and the close box: a copy-conflict prompt's message loop
// still delivers them, and they must neither start a second run nor end the dialog under it.
#include "shell/installer_dialog.h"

#include "deploy/message_queue.h"
#include "deploy/text.h"
#include "deploy/window_text.h"
#include "driver/reader_driver.h"
#include "resource.h"
#include "shell/installation_run.h"
#include "shell/window_titles.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

int32_t g_collapsedHeight;
int32_t g_expandedHeight;
int32_t g_detailsState = kDetailsNoRun;

static const char kRestartNotice[] = "Dla poprawnego zakończenia instalacji konieczne jest zrestartowanie komputera.";

static const char kDetailsFormat[] = "&Szczegóły %s";

static bool g_runInProgress = false;

static void ResizeKeepingCorner(HWND dialog, int32_t height)
{
    RECT window;

    GetWindowRect(dialog, &window);
    MoveWindow(dialog, window.left, window.top, window.right - window.left, height, TRUE);
}

static void MeasureHeights(HWND dialog)
{
    RECT details;
    RECT window;

    GetWindowRect(GetDlgItem(dialog, IDC_DETAILS), &details);
    GetWindowRect(dialog, &window);
    g_expandedHeight = window.bottom - window.top;
    g_collapsedHeight = details.top - window.top;
}

static void FillReaderTypes(HWND dialog)
{
    for (int row = 0; row < kReaderTypeCount; row++)
        AddComboBoxRow(GetDlgItem(dialog, IDC_READER_TYPE), ReaderTypeTable[row].displayName);
    SendDlgItemMessageA(dialog, IDC_READER_TYPE, CB_SETCURSEL, 0, 0);
}

static void InitializeDialog(HWND dialog)
{
    char title[64];

    SetFocus(GetDlgItem(dialog, IDOK));
    FormatText(title, sizeof(title), CARDSETUP_DIALOG_TITLE_FORMAT, CARDSETUP_VERSION_MAJOR,
               CARDSETUP_VERSION_MINOR);
    ShowWindowText(dialog, title);
    MeasureHeights(dialog);
    ResizeKeepingCorner(dialog, g_collapsedHeight);
    g_detailsState = kDetailsNoRun;
    CheckDlgButton(dialog, IDC_COMP_DRIVER, BST_CHECKED);
    CheckDlgButton(dialog, IDC_COMP_JAVA, BST_CHECKED);
    ShowWindow(GetDlgItem(dialog, IDC_STATUS_DRIVER), SW_HIDE);
    FillReaderTypes(dialog);
}

static void SetButtonCaptions(HWND dialog)
{
    char caption[32];

    FormatText(caption, sizeof(caption), kDetailsFormat,
               g_detailsState != kDetailsShown ? ">>" : "<<");
    ShowWindowText(GetDlgItem(dialog, IDOK), caption);
    ShowWindowText(GetDlgItem(dialog, IDCANCEL), "&Zamknij");
}

static void ToggleDetails(HWND dialog)
{
    if (g_detailsState != kDetailsShown) {
        ResizeKeepingCorner(dialog, g_expandedHeight);
        g_detailsState = kDetailsShown;
    } else {
        ResizeKeepingCorner(dialog, g_collapsedHeight);
        g_detailsState = kDetailsHidden;
    }
}

// The buttons and the close box are greyed while the run works, so the refusal can be seen.
static void OfferClosingAndButtons(HWND dialog, BOOL offer)
{
    EnableWindow(GetDlgItem(dialog, IDOK), offer);
    EnableWindow(GetDlgItem(dialog, IDCANCEL), offer);
    EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE, offer ? MF_ENABLED : MF_GRAYED);
}

static bool IsTicked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// The hidden boxes are read too: they choose the steps the dialog does not offer.
static void ReadSelection(HWND dialog, Selection* selection)
{
    selection->ie = IsTicked(dialog, IDC_COMP_IE);
    selection->netscape = IsTicked(dialog, IDC_COMP_NETSCAPE);
    selection->java = IsTicked(dialog, IDC_COMP_JAVA);
    selection->driver = IsTicked(dialog, IDC_COMP_DRIVER);
    selection->readerIndex = SendDlgItemMessageA(dialog, IDC_READER_TYPE, CB_GETCURSEL, 0, 0);
}

static void ShowLabel(HWND dialog, int id, ComponentStatus status)
{
    if (StatusIsReported(status))
        ShowWindowText(GetDlgItem(dialog, id), StatusLabel(status));
}

static void ShowResults(HWND dialog, const RunResults* results, const char* report)
{
    ShowLabel(dialog, IDC_STATUS_DRIVER, results->driver.status);
    ShowLabel(dialog, IDC_STATUS_IE, results->ie.status);
    ShowLabel(dialog, IDC_STATUS_NETSCAPE, results->netscape.status);
    ShowLabel(dialog, IDC_STATUS_JAVA, results->java.status);
    ShowWindowText(GetDlgItem(dialog, IDC_DETAILS), report);
}

// A finished run offers no more choices: the driver's label takes the list's place.
static void RetireChoices(HWND dialog)
{
    EnableWindow(GetDlgItem(dialog, IDC_COMP_IE), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_COMP_NETSCAPE), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_COMP_JAVA), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_COMP_DRIVER), FALSE);
    ShowWindow(GetDlgItem(dialog, IDC_READER_TYPE), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_STATUS_DRIVER), SW_SHOW);
}

// Returns when the report is shown; the dialog is not resized.
static void RunInstallation(HWND dialog)
{
    Selection selection;
    RunResults results;
    char report[kReportCapacity];
    HCURSOR savedCursor;

    ReadSelection(dialog, &selection);
    savedCursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    RunAndReport(&selection, &results, report);
    ShowResults(dialog, &results, report);
    SetCursor(savedCursor);
    RetireChoices(dialog);
    g_detailsState = kDetailsHidden;
}

static void RunOnce(HWND dialog)
{
    g_runInProgress = true;
    OfferClosingAndButtons(dialog, FALSE);
    RunInstallation(dialog);
    // Input that waited in the queue while a step held the thread (a copy does not read the
    // queue) was meant for the refused buttons: dispatched now, a click on the greyed
    // "&Zaniechaj" would close the dialog as "&Zamknij" before the user saw the report.
    DropQueuedInput();
    OfferClosingAndButtons(dialog, TRUE);
    g_runInProgress = false;
    SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(dialog, IDOK), TRUE);
}

static void OnInstallOrDetails(HWND dialog)
{
    if (g_detailsState == kDetailsNoRun)
        RunOnce(dialog);
    else
        ToggleDetails(dialog);
    SetButtonCaptions(dialog);
}

static void OnClose(HWND dialog)
{
    if (g_detailsState != kDetailsNoRun)
        ShowMessageBox(dialog, kRestartNotice, CARDSETUP_RESTART_CAPTION, MB_OK);
    EndDialog(dialog, 0);
}

INT_PTR CALLBACK InstallerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        InitializeDialog(dialog);
        return FALSE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    if (g_runInProgress)
        return LOWORD(wParam) == IDCANCEL;  // refused; Cancel counts as handled all the same
    switch (LOWORD(wParam)) {
    case IDOK:
        OnInstallOrDetails(dialog);
        return FALSE;
    case IDCANCEL:
        OnClose(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}
