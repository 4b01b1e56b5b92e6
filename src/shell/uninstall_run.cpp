// The removal runs with the quiet run's decisions when quiet, and with the copy-conflict prompt
// otherwise; what it did is counted, logged and, for the person at the screen, shown at the end.
#include "shell/uninstall_run.h"

#include "components/ocf_removal.h"
#include "deploy/run_log.h"
#include "deploy/text.h"
#include "deploy/window_text.h"
#include "shell/quiet_run.h"
#include "shell/window_titles.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kUninstallQuestion[] =
    "Wycofać zmiany instalatora czytnika kart?\nZachowane pliki zasad Java wrócą na miejsce, "
    "pliki OCF z tego nośnika zostaną usunięte, inne pozostaną bez zmian.";

static const char kSummaryFormat[] =
    "Przywrócono: %d\nUsunięto: %d\nPozostawiono: %d\nNie zmieniono: %d\n\nSterownik czytnika "
    "kart ma własny deinstalator (Programy i funkcje).";

int RunUninstall(const Options* options)
{
    RemovalCounts counts = {0, 0, 0, 0, false};
    char summary[512];

    if (options->quiet)
        PrepareQuietRun();
    else if (ShowMessageBox(NULL, kUninstallQuestion, CARDSETUP_WELCOME_CAPTION,
                            MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 0;
    RemoveOcf(&counts);
    FormatText(summary, sizeof(summary), kSummaryFormat, counts.restored, counts.removed,
               counts.kept, counts.failed);
    LogText("%s", summary);
    if (!options->quiet)
        ShowMessageBox(NULL, summary, CARDSETUP_WELCOME_CAPTION, MB_OK | MB_ICONINFORMATION);
    return options->quiet && counts.failed > 0 ? kExitFailed : 0;
}
