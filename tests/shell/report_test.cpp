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

std::string Compose(const RunResults& results)
{
    char report[kReportCapacity];
    memset(report, 'x', sizeof(report));
    ComposeReport(&results, report, sizeof(report));
    return report;
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
    char report[10];
    memset(report, 'x', sizeof(report));
    ComposeReport(&results, report, sizeof(report));
    EXPECT_EQ(std::string(kDriver).substr(0, 9), report);
}
