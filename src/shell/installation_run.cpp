// Runs the steps one after another; an abort in a component step ends the chain. Nothing here
// knows a window: the results go back to the caller and the report to the log.
#include "shell/installation_run.h"

#include "components/ie_components.h"
#include "components/java_plugin.h"
#include "components/netscape_components.h"
#include "components/stale_jar.h"
#include "deploy/file_replace.h"
#include "deploy/run_log.h"
#include "deploy/text.h"
#include "driver/reader_driver.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kReaderOutOfRangeMessage[] = "Wybór czytnika kart spoza dostępnej listy";

static void RunDriverStep(LRESULT readerIndex, RunResults* results)
{
    StepOutcome* driver = &results->driver;

    if (readerIndex < 0 || readerIndex >= kReaderTypeCount) {
        driver->status = StatusError;
        CopyText(driver->message, sizeof(driver->message), kReaderOutOfRangeMessage);
        return;
    }
    driver->status = InstallReaderDriver(ReaderTypeTable[readerIndex].type, driver->message,
                                         sizeof(driver->message), &results->driverPackageExitCode);
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
        RunDriverStep(selection->readerIndex, results);
}

void ComposeAndLogReport(const RunResults* results, char* report)
{
    ComposeReport(results, report, kReportCapacity);
    LogText("Raport:\r\n%s", report);
}

void RunAndReport(const Selection* selection, RunResults* results, char* report)
{
    ResetRunResults(results);
    RunSteps(selection, results);
    FlushWrittenVolumes();  // before the report says what is in place
    ComposeAndLogReport(results, report);
}
