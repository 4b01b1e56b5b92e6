// Runs the steps one after another; an abort in a component step ends the chain. The results
// are shown only after the last step: the report, the labels, and the controls that a finished
// run no longer offers.
#include "shell/installation_run.h"

#include "components/ie_components.h"
#include "components/java_plugin.h"
#include "components/netscape_components.h"
#include "components/stale_jar.h"
#include "deploy/run_log.h"
#include "deploy/text.h"
#include "deploy/window_text.h"
#include "driver/reader_driver.h"
#include "resource.h"
#include "shell/installer_dialog.h"
#include "shell/report.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kReaderOutOfRangeMessage[] = "Wybór czytnika kart spoza dostępnej listy";

static bool IsTicked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

static void ReadSelection(HWND dialog, Selection* selection)
{
    selection->ie = IsTicked(dialog, IDC_COMP_IE);
    selection->netscape = IsTicked(dialog, IDC_COMP_NETSCAPE);
    selection->java = IsTicked(dialog, IDC_COMP_JAVA);
    selection->driver = IsTicked(dialog, IDC_COMP_DRIVER);
    selection->readerIndex = SendDlgItemMessageA(dialog, IDC_READER_TYPE, CB_GETCURSEL, 0, 0);
}

static void RunDriverStep(LRESULT readerIndex, StepOutcome* driver)
{
    if (readerIndex < 0 || readerIndex >= kReaderTypeCount) {
        driver->status = StatusError;
        CopyText(driver->message, sizeof(driver->message), kReaderOutOfRangeMessage);
        return;
    }
    driver->status = InstallReaderDriver(ReaderTypeTable[readerIndex].type, driver->message,
                                         sizeof(driver->message));
}

// Returns false when the user aborted the step, which ends the chain.
static bool RunComponentStep(bool selected, ComponentStatus (*step)(char*, uint32_t),
                             StepOutcome* outcome)
{
    if (!selected)
        return true;
    outcome->status = step(outcome->message, sizeof(outcome->message));
    return outcome->status != StatusAborted;
}

void RunSteps(const Selection* selection, RunResults* results)
{
    results->staleJarResult =
        RemoveStaleOcfJar(results->staleJarMessage, sizeof(results->staleJarMessage));
    if (!RunComponentStep(selection->ie, InstallIeComponents, &results->ie) ||
        !RunComponentStep(selection->netscape, InstallNetscapeComponents, &results->netscape) ||
        !RunComponentStep(selection->java, InstallJavaPluginComponents, &results->java))
        return;
    if (selection->driver)
        RunDriverStep(selection->readerIndex, &results->driver);
}

static void ShowLabel(HWND dialog, int id, ComponentStatus status)
{
    if (StatusIsReported(status))
        ShowWindowText(GetDlgItem(dialog, id), StatusLabel(status));
}

void ComposeAndLogReport(const RunResults* results, char* report)
{
    ComposeReport(results, report, kReportCapacity);
    LogText("Raport:\r\n%s", report);
}

static void ShowResults(HWND dialog, const RunResults* results)
{
    char report[kReportCapacity];

    ComposeAndLogReport(results, report);
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

void RunInstallation(HWND dialog)
{
    Selection selection;
    RunResults results;
    HCURSOR savedCursor;

    ReadSelection(dialog, &selection);
    savedCursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    ResetRunResults(&results);
    RunSteps(&selection, &results);
    ShowResults(dialog, &results);
    SetCursor(savedCursor);
    RetireChoices(dialog);
    g_detailsState = kDetailsHidden;
}
