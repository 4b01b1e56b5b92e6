// The report as the dialog shows it: sections in reading order, each outcome word and message,
// and the longest possible report within its buffer.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "shell/report.h"

namespace {

const char kDriver[] = "Instalacja sterownika czytnika kart: ";
const char kIe[] = "Instalacja komponentów dla MS Internet Explorera: ";
const char kNetscape[] = "Instalacja komponentów dla Netscape 4.x: ";
const char kJava[] = "Instalacja komponentów dla Sun Java Plug-in: ";
const char kStaleJar[] = "Detekcja/deinstalacja poprzedniego środowiska OCF: BŁĄD - ";

void SetOutcome(StepOutcome* step, ComponentStatus status, const char* message)
{
    step->status = status;
    strncpy(step->message, message, sizeof(step->message) - 1);
}

// Composes into a buffer of the given capacity with a guard after it that must stay untouched.
std::string Compose(const RunResults& results, size_t capacity = kReportCapacity)
{
    struct {
        char report[kReportCapacity];
        char guard[16];
    } buffer;
    const char* bytes = reinterpret_cast<const char*>(&buffer);
    memset(&buffer, 'x', sizeof(buffer));
    ComposeReport(&results, buffer.report, capacity);
    for (size_t i = capacity; i < sizeof(buffer); i++)
        EXPECT_EQ('x', bytes[i]) << "written past the report's capacity at " << i;
    return std::string(buffer.report, strnlen(buffer.report, capacity));
}

class Report : public ::testing::Test {
protected:
    void SetUp() override { ResetRunResults(&results); }
    RunResults results;
};

}  // namespace

TEST_F(Report, TheDefaultsWithAFoundReaderReadAsTheDialogShowsThem)
{
    SetOutcome(&results.java, StatusOk, "");
    SetOutcome(&results.driver, StatusWarning,
               "Wykryto już zainstalowany w systemie czytnik rodziny GEMPLUS");
    EXPECT_EQ(std::string(kDriver) +
                  "UWAGA - Wykryto już zainstalowany w systemie czytnik rodziny GEMPLUS\r\n\r\n" +
                  kJava + "OK\r\n\r\n",
              Compose(results));
}

TEST_F(Report, SectionsFollowReadingOrderWithTheFailedRemovalFirst)
{
    results.staleJarResult = 0;
    strcpy(results.staleJarMessage, "old library stays");
    SetOutcome(&results.java, StatusError, "java failed");
    SetOutcome(&results.netscape, StatusWarning, "no browser");
    SetOutcome(&results.ie, StatusOk, "text of an OK step is never shown");
    SetOutcome(&results.driver, StatusOk, "");
    EXPECT_EQ(std::string(kStaleJar) + "old library stays\r\n\r\n" + kDriver + "OK\r\n\r\n" + kIe +
                  "OK\r\n\r\n" + kNetscape + "UWAGA - no browser\r\n\r\n" + kJava +
                  "BŁĄD - java failed\r\n\r\n",
              Compose(results));
}

TEST_F(Report, StepsNotRunOrAbortedGetNoSection)
{
    EXPECT_EQ("", Compose(results));
    SetOutcome(&results.java, StatusAborted, "Przerwa na życzenie użytkownika");
    EXPECT_EQ("", Compose(results));
    results.staleJarResult = 0;
    strcpy(results.staleJarMessage, "stays");
    EXPECT_EQ(std::string(kStaleJar) + "stays\r\n\r\n", Compose(results));
    EXPECT_FALSE(StatusIsReported(StatusNotRun));
    EXPECT_FALSE(StatusIsReported(StatusAborted));
    EXPECT_STREQ("OK", StatusLabel(StatusOk));
    EXPECT_STREQ("BŁĄD", StatusLabel(StatusError));
    EXPECT_STREQ("UWAGA", StatusLabel(StatusWarning));
}

TEST_F(Report, TheLongestReportFitsWhole)
{
    std::string full(kMessageCapacity - 1, 'm');
    results.staleJarResult = 0;
    strcpy(results.staleJarMessage, full.c_str());
    for (StepOutcome* step : {&results.driver, &results.ie, &results.netscape, &results.java})
        SetOutcome(step, StatusWarning, full.c_str());
    std::string report = Compose(results);
    EXPECT_EQ(3239u - 1, report.size());
    EXPECT_EQ("\r\n\r\n", report.substr(report.size() - 4));
}

TEST_F(Report, AMessageWithoutTerminatorIsReadOnlyWithinItsBuffer)
{
    results.driver.status = StatusError;
    memset(results.driver.message, 'm', sizeof(results.driver.message));
    SetOutcome(&results.ie, StatusOk, "");
    std::string expected = std::string(kDriver) + "BŁĄD - " +
                           std::string(kMessageCapacity - 1, 'm') + "\r\n\r\n" + kIe + "OK\r\n\r\n";
    EXPECT_EQ(expected, Compose(results));
}

TEST_F(Report, ASmallBufferIsFilledAndTerminated)
{
    SetOutcome(&results.driver, StatusOk, "");
    SetOutcome(&results.java, StatusWarning, "java incomplete");
    std::string whole = Compose(results);
    for (size_t capacity : {(size_t)10, sizeof(kDriver), whole.size(), whole.size() + 1})
        EXPECT_EQ(whole.substr(0, capacity - 1), Compose(results, capacity)) << capacity;
}
