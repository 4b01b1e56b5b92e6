// The command line of deployment tools and the exit code of a quiet run: the switches as a
// table, the splitting of arguments against Windows' own, and the code for each outcome.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "shell/command_line.h"
#include "shell/quiet_run.h"

namespace {

std::vector<std::wstring> Split(const wchar_t* line)
{
    std::vector<std::wstring> arguments;
    wchar_t argument[kLongestArgument];
    const wchar_t* cursor = line;
    while (NextArgument(&cursor, argument, kLongestArgument))
        arguments.push_back(argument);
    return arguments;
}

}  // namespace

// Windows splits a program's command line itself (CommandLineToArgvW); a tool that quotes a
// log path in a folder with spaces, or ends it with a backslash, must be read the same.
TEST(CommandLine, ArgumentsAreSplitAsWindowsSplitsThem)
{
    const wchar_t* lines[] = {
        L"/quiet /log \"C:\\Program Files\\logs\\cardsetup.log\"",
        L"/log=\"C:\\a b\\c.log\" -S",
        L"/driver-args \"/S /v\\\"/qn REBOOT=R\\\"\"",
        L"a\\\\\\\"b \"c\\\\\" d\\e",
        L"\"a\"\"b\" \"\" x",
        L"  \t/quiet\t ",
    };
    for (const wchar_t* line : lines) {
        int count = 0;
        std::wstring withProgram = std::wstring(L"cardsetup.exe ") + line;
        wchar_t** expected = CommandLineToArgvW(withProgram.c_str(), &count);
        ASSERT_TRUE(expected != NULL);
        std::vector<std::wstring> windows(expected + 1, expected + count);
        LocalFree(expected);
        EXPECT_EQ(windows, Split(line)) << std::string(line, line + wcslen(line));
    }
}

TEST(CommandLine, SwitchesAreReadAndAnythingElseIsRefused)
{
    struct Case {
        const wchar_t* line;
        bool understood;
        bool quiet;
        unsigned components;
        int readerRow;
        const wchar_t* log;
    } cases[] = {
        {L"cardsetup.exe", true, false, ComponentDriver | ComponentJava, kReaderRowAuto, L""},
        {L"\"C:\\media dir\\cardsetup.exe\" /QUIET", true, true, 3, kReaderRowAuto, L""},
        {L"x.exe -s /LOG c:\\l.log /norestart", true, true, 3, kReaderRowAuto, L"c:\\l.log"},
        {L"x.exe /quiet /components=java,NETSCAPE /reader=2", true, true,
         ComponentJava | ComponentNetscape, 1, L""},
        {L"x.exe /components=ie /reader=1 /log=\"d:\\x y.log\"", true, false, ComponentIe, 0,
         L"d:\\x y.log"},
        {L"x.exe /reader=auto", true, false, 3, kReaderRowAuto, L""},
        {L"x.exe /quiet /bogus", false, true, 3, kReaderRowAuto, L""},
        {L"x.exe /bogus /S", false, true, 3, kReaderRowAuto, L""},
        {L"x.exe quiet", false, false, 3, kReaderRowAuto, L""},
        {L"x.exe /components=", false, false, 3, kReaderRowAuto, L""},
        {L"x.exe /components=java,", false, false, 3, kReaderRowAuto, L""},
        {L"x.exe /components=java,card", false, false, 3, kReaderRowAuto, L""},
        {L"x.exe /reader=3", false, false, 3, kReaderRowAuto, L""},
        {L"x.exe /reader 2", false, false, 3, kReaderRowAuto, L""},
        {L"x.exe /log", false, false, 3, kReaderRowAuto, L""},
        {L"x.exe /quiet=yes", false, false, 3, kReaderRowAuto, L""},
    };
    for (const Case& c : cases) {
        Options options;
        std::string shown(c.line, c.line + wcslen(c.line));
        EXPECT_EQ(c.understood, ParseCommandLine(c.line, &options)) << shown;
        EXPECT_EQ(c.quiet, options.quiet) << shown;
        if (c.understood) {
            EXPECT_EQ(c.components, options.components) << shown;
            EXPECT_EQ(c.readerRow, options.readerRow) << shown;
            EXPECT_STREQ(c.log, options.log) << shown;
        }
    }
    Options options;
    EXPECT_TRUE(ParseCommandLine(L"x.exe /? /uninstall -Help", &options));
    EXPECT_TRUE(options.help && options.uninstall);
    std::wstring tooLong = L"x.exe /log " + std::wstring(MAX_PATH + 1, L'l');
    EXPECT_FALSE(ParseCommandLine(tooLong.c_str(), &options)) << "a log path past MAX_PATH";
}

// What deployment tools read: 3010 when every step did its work (a reader that is there already
// counts as done), 1603 for an error, a warning of another step, a failed removal of the old
// library, or a file that stayed where the installer's was to go.
TEST(QuietExitCode, FollowsTheReportAndTheFilesLeft)
{
    struct Case {
        const char* what;
        ComponentStatus driver;
        ComponentStatus java;
        ComponentStatus netscape;
        int staleJarResult;
        bool filesLeft;
        int exitCode;
    } cases[] = {
        {"everything done", StatusOk, StatusOk, StatusNotRun, 1, false, 3010},
        {"a reader there already", StatusWarning, StatusOk, StatusNotRun, 1, false, 3010},
        {"only java asked", StatusNotRun, StatusOk, StatusNotRun, 1, false, 3010},
        {"a driver error", StatusError, StatusOk, StatusNotRun, 1, false, 1603},
        {"java incomplete", StatusOk, StatusWarning, StatusNotRun, 1, false, 1603},
        {"java error", StatusOk, StatusError, StatusNotRun, 1, false, 1603},
        {"no netscape", StatusOk, StatusOk, StatusWarning, 1, false, 1603},
        {"the old library stayed", StatusOk, StatusOk, StatusNotRun, 0, false, 1603},
        {"a file in use left", StatusOk, StatusOk, StatusNotRun, 1, true, 1603},
    };
    for (const Case& c : cases) {
        RunResults results;
        ResetRunResults(&results);
        results.driver.status = c.driver;
        results.java.status = c.java;
        results.netscape.status = c.netscape;
        results.staleJarResult = c.staleJarResult;
        EXPECT_EQ(c.exitCode, QuietExitCode(&results, c.filesLeft)) << c.what;
    }
}
