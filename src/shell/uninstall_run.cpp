// The removal runs with the quiet run's decisions when quiet, and with the copy-conflict prompt
// otherwise; what it did is counted, logged and, for the person at the screen, shown at the end.
#include "shell/uninstall_run.h"

#include <string.h>
#include <windows.h>

#include "components/ocf_removal.h"
#include "deploy/file_replace.h"
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
static const char kEditedFormat[] =
    "\n\nZmienione po instalacji, pozostawione wraz z kopią zapasową (.ocf-bak):\n%s";
static const char kMediaMissingText[] =
    "Nie wycofano zmian: na nośniku brak katalogu sun lub jego plików, z którymi trzeba "
    "porównać pliki na komputerze. Niczego nie zmieniono.";

static void ComposeSummary(const RemovalCounts* counts, char* summary, size_t capacity)
{
    size_t used;

    if (counts->mediaMissing) {
        CopyText(summary, capacity, kMediaMissingText);
        return;
    }
    FormatText(summary, capacity, kSummaryFormat, counts->restored, counts->removed,
               counts->kept, counts->failed);
    used = strlen(summary);
    if (counts->edited[0] != '\0')
        FormatText(summary + used, capacity - used, kEditedFormat, counts->edited);
}

int RunUninstall(const Options* options)
{
    RemovalCounts counts;
    char summary[1024];

    ZeroMemory(&counts, sizeof(counts));
    if (options->quiet)
        PrepareQuietRun();
    else if (ShowMessageBox(NULL, kUninstallQuestion, CARDSETUP_WELCOME_CAPTION,
                            MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 0;
    RemoveOcf(&counts);
    FlushWrittenVolumes();
    ComposeSummary(&counts, summary, sizeof(summary));
    LogText("%s", summary);
    if (!options->quiet)
        ShowMessageBox(NULL, summary, CARDSETUP_WELCOME_CAPTION,
                       MB_OK | (counts.mediaMissing ? MB_ICONERROR : MB_ICONINFORMATION));
    if (!options->quiet)
        return 0;
    if (counts.failed > 0 || counts.mediaMissing)
        return kExitFailed;
    return counts.atRestart > 0 ? kExitRestartNeeded : 0;
}
