// Composing the report by appending, always bounded by the report buffer. Each section is its
// heading, an outcome (the status word and, for errors and warnings, the step's message) and
// an empty line.
#include "shell/report.h"

#include <string.h>

#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kSectionEnd[] = "\r\n\r\n";
static const char kStaleJarHeading[] = "Detekcja/deinstalacja poprzedniego środowiska OCF: BŁĄD - ";
static const char kDriverHeading[] = "Instalacja sterownika czytnika kart: ";
static const char kIeHeading[] = "Instalacja komponentów dla MS Internet Explorera: ";
static const char kNetscapeHeading[] = "Instalacja komponentów dla Netscape 4.x: ";
static const char kJavaHeading[] = "Instalacja komponentów dla Sun Java Plug-in: ";

void ResetRunResults(RunResults* results)
{
    memset(results, 0, sizeof(*results));
    results->staleJarResult = 1;
    results->driver.status = StatusNotRun;
    results->ie.status = StatusNotRun;
    results->netscape.status = StatusNotRun;
    results->java.status = StatusNotRun;
}

bool StatusIsReported(ComponentStatus status)
{
    return status != StatusNotRun && status != StatusAborted;
}

const char* StatusLabel(ComponentStatus status)
{
    switch (status) {
    case StatusOk: return "OK";
    case StatusError: return "BŁĄD";
    default: return "UWAGA";
    }
}

static void Append(char* report, size_t capacity, const char* text)
{
    size_t used = strnlen(report, capacity);

    if (used + 1 < capacity)
        CopyText(report + used, capacity - used, text);
}

// A step's message is read within its own buffer, terminated or not.
static void AppendMessage(char* report, size_t capacity, const char* message)
{
    char text[kMessageCapacity];

    CopyText(text, sizeof(text), message);
    Append(report, capacity, text);
}

static void AppendStepSection(char* report, size_t capacity, const char* heading,
                              const StepOutcome* step)
{
    if (!StatusIsReported(step->status))
        return;
    Append(report, capacity, heading);
    if (step->status == StatusOk) {
        Append(report, capacity, "OK");
    } else {
        Append(report, capacity, StatusLabel(step->status));
        Append(report, capacity, " - ");
        AppendMessage(report, capacity, step->message);
    }
    Append(report, capacity, kSectionEnd);
}

void ComposeReport(const RunResults* results, char* report, size_t capacity)
{
    if (report == NULL || capacity == 0)
        return;
    report[0] = '\0';
    if (results->staleJarResult == 0) {
        Append(report, capacity, kStaleJarHeading);
        AppendMessage(report, capacity, results->staleJarMessage);
        Append(report, capacity, kSectionEnd);
    }
    AppendStepSection(report, capacity, kDriverHeading, &results->driver);
    AppendStepSection(report, capacity, kIeHeading, &results->ie);
    AppendStepSection(report, capacity, kNetscapeHeading, &results->netscape);
    AppendStepSection(report, capacity, kJavaHeading, &results->java);
}
