// The command line of deployment tools and the exit code of a quiet run: the switches as a
// table, the splitting of arguments against Windows' own (also for random lines, with every
// read past the text caught), the code for each outcome, the program's own folder as the media,
// and the start where no one can answer a window.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <random>
#include <string>
#include <vector>

#include "deploy/guarded_copy.h"
#include "deploy/run_changes.h"
#include "driver/reader_driver.h"
#include "shell/command_line.h"
#include "shell/media_folder.h"
#include "shell/quiet_run.h"
#include "shell/unattended.h"

namespace {

// Stands in the split for an argument too long for the parser's buffer.
const wchar_t kTooLong[] = L"<too long>";

std::vector<std::wstring> Split(const wchar_t* line)
{
    std::vector<std::wstring> arguments;
    wchar_t argument[kLongestArgument];
    const wchar_t* cursor = line;
    ArgumentResult result;
    while ((result = NextArgument(&cursor, argument, kLongestArgument)) != ArgumentNone)
        arguments.push_back(result == ArgumentRead ? argument : kTooLong);
    return arguments;
}

// What Windows makes of the arguments after the program's name; one too long for the parser
// stands as kTooLong.
std::vector<std::wstring> SplitByWindows(const std::wstring& line)
{
    int count = 0;
    std::wstring withProgram = L"cardsetup.exe " + line;
    wchar_t** split = CommandLineToArgvW(withProgram.c_str(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; split != NULL && i < count; i++)
        arguments.push_back(wcslen(split[i]) < kLongestArgument ? split[i] : kTooLong);
    LocalFree(split);
    return arguments;
}

std::string Shown(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// A text whose terminator is the last character before a page that may not be read. A read past
// the text touches that page; the handler notes it and lets the page be read (as zeros), so the
// case goes on and the test names it.
class TextBeforeGuard {
public:
    explicit TextBeforeGuard(const std::wstring& text)
    {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        page_ = system.dwPageSize;
        size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        size_t readable = (bytes + page_ - 1) / page_ * page_;
        base_ = (char*)VirtualAlloc(NULL, readable + page_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        guard_ = base_ + readable;
        text_ = (wchar_t*)(guard_ - bytes);
        memcpy(text_, text.c_str(), bytes);
        DWORD old;
        VirtualProtect(guard_, page_, PAGE_NOACCESS, &old);
        s_guard = guard_;
        s_page = page_;
        s_touched = false;
        handler_ = AddVectoredExceptionHandler(1, Notice);
    }
    ~TextBeforeGuard()
    {
        RemoveVectoredExceptionHandler(handler_);
        s_guard = NULL;
        VirtualFree(base_, 0, MEM_RELEASE);
    }
    const wchar_t* Text() const { return text_; }
    bool Touched() const { return s_touched; }

private:
    static LONG CALLBACK Notice(EXCEPTION_POINTERS* exception)
    {
        const EXCEPTION_RECORD* record = exception->ExceptionRecord;
        char* address = (char*)record->ExceptionInformation[1];
        DWORD old;
        if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || s_guard == NULL ||
            address < s_guard || address >= s_guard + s_page)
            return EXCEPTION_CONTINUE_SEARCH;
        s_touched = true;
        VirtualProtect(s_guard, s_page, PAGE_READONLY, &old);
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    static char* s_guard;
    static size_t s_page;
    static bool s_touched;
    size_t page_;
    char* base_;
    char* guard_;
    wchar_t* text_;
    void* handler_;
};
char* TextBeforeGuard::s_guard = NULL;
size_t TextBeforeGuard::s_page = 0;
bool TextBeforeGuard::s_touched = false;

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
        // A switch that needs a value takes no switch that follows: that one is read as itself.
        {L"x.exe /log /quiet", false, true, 3, kReaderRowAuto, L""},
        {L"x.exe /log -S", false, true, 3, kReaderRowAuto, L""},
        {L"x.exe /driver-args /S", false, true, 3, kReaderRowAuto, L""},
        {L"x.exe /log \"/quiet\"", true, false, 3, kReaderRowAuto, L"/quiet"},
        {L"x.exe /driver-args \"/S\" /quiet", true, true, 3, kReaderRowAuto, L""},
        // An empty argument, as a script passes an empty variable.
        {L"x.exe \"\"", false, false, 3, kReaderRowAuto, L""},
        {L"x.exe /quiet \"\" /log \"\"", false, true, 3, kReaderRowAuto, L""},
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
    EXPECT_FALSE(options.quiet);
    EXPECT_FALSE(ParseCommandLine((tooLong + L" /quiet").c_str(), &options));
    EXPECT_TRUE(options.quiet) << "the /quiet after a log path past MAX_PATH was not read";
}

// An argument too long for the parser is refused, and what follows it is still read: a /quiet
// after it must keep every window away.
TEST(CommandLine, AnArgumentTooLongIsRefusedAndTheRestIsRead)
{
    std::wstring long1024 = std::wstring(1024, L'a');
    for (const std::wstring& line :
         {L"x.exe " + long1024 + L" /quiet", L"x.exe \"" + long1024 + L" \" /quiet",
          L"x.exe /driver-args=" + long1024 + L" -s", L"x.exe /quiet /log " + long1024}) {
        Options options;
        EXPECT_FALSE(ParseCommandLine(line.c_str(), &options)) << line.size();
        EXPECT_TRUE(options.quiet) << line.size();
    }
    Options options;
    std::wstring longest = L"x.exe /driver-args=" + std::wstring(1023 - 13, L'a') + L" /quiet";
    EXPECT_TRUE(ParseCommandLine(longest.c_str(), &options)) << "1023 characters fit";
    EXPECT_EQ(1023u - 13u, wcslen(options.driverArguments));
}

// The driver package's time limit: minutes, by default a few, at most a day; seconds with "s"
// for the tests' short runs.
TEST(CommandLine, TheDriverTimeLimitIsMinutesOrSeconds)
{
    struct Case {
        const wchar_t* line;
        bool understood;
        DWORD milliseconds;
    } cases[] = {
        {L"x.exe", true, 8 * 60000},
        {L"x.exe /driver-timeout=30", true, 30 * 60000},
        {L"x.exe /DRIVER-TIMEOUT=1440", true, 1440 * 60000},
        {L"x.exe /driver-timeout=5s", true, 5000},
        {L"x.exe /driver-timeout=86400s", true, 86400000},
        {L"x.exe /driver-timeout=1441", false, 0},
        {L"x.exe /driver-timeout=86401s", false, 0},
        {L"x.exe /driver-timeout=99999999999999999999", false, 0},
        {L"x.exe /driver-timeout=0", false, 0},
        {L"x.exe /driver-timeout=", false, 0},
        {L"x.exe /driver-timeout=-5", false, 0},
        {L"x.exe /driver-timeout=5m", false, 0},
        {L"x.exe /driver-timeout=s", false, 0},
        {L"x.exe /driver-timeout 5", false, 0},
    };
    for (const Case& c : cases) {
        Options options;
        EXPECT_EQ(c.understood, ParseCommandLine(c.line, &options)) << Shown(c.line);
        if (c.understood) {
            EXPECT_EQ(c.milliseconds, options.driverTimeLimitMs) << Shown(c.line);
        }
    }
}

// An empty argument has no name after its first character: nothing past its end may be read.
TEST(CommandLine, AnEmptyArgumentIsReadNoFurtherThanItsEnd)
{
    for (const wchar_t* argument : {L"", L"/", L"-", L"/log=", L"/reader="}) {
        TextBeforeGuard guarded(argument);
        const wchar_t* rest = L"";
        Options options;
        ZeroMemory(&options, sizeof(options));
        EXPECT_FALSE(ParseSwitch(guarded.Text(), &rest, &options)) << Shown(argument);
        EXPECT_FALSE(guarded.Touched()) << "read past \"" << Shown(argument) << "\"";
    }
}

// The splits that Microsoft documents for CommandLineToArgvW and the C runtime alike.
TEST(CommandLine, DocumentedLinesAreSplitAsDocumented)
{
    const struct {
        const wchar_t* line;
        std::vector<std::wstring> arguments;
    } cases[] = {
        {L"\"a b c\" d e", {L"a b c", L"d", L"e"}},
        {L"\"ab\\\"c\" \"\\\\\" d", {L"ab\"c", L"\\", L"d"}},
        {L"a\\\\\\b d\"e f\"g h", {L"a\\\\\\b", L"de fg", L"h"}},
        {L"a\\\\\\\"b c d", {L"a\\\"b", L"c", L"d"}},
        {L"a\\\\\\\\\"b c\" d e", {L"a\\\\b c", L"d", L"e"}},
        {L"/log \"C:\\Temp\\\\\" /quiet", {L"/log", L"C:\\Temp\\", L"/quiet"}},
        {L"\t/quiet\t\t\"\"", {L"/quiet", L""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.arguments, Split(c.line)) << Shown(c.line);
}

// Random lines of quotes, backslashes, blanks, switches, empty and over-long arguments, split as
// Windows splits them, and read without a read past the line or past any argument.
TEST(CommandLine, RandomLinesAreSplitAsWindowsSplitsThemAndNeverReadPastTheirEnd)
{
    static const wchar_t* const kPieces[] = {
        L"\"", L"\"", L"\\", L"\\\\", L" ", L"\t", L"a", L"\u0142", L"/quiet", L"/log",
        L"-S", L"/driver-args", L"=", L"/components=java", L"\"\"", L"\\\"", L"  ",
        L"/log=", L"/log=C:\\x y\\a.log", L"/driver-args=", L"/driver-args=/S",
        L"/driver-timeout", L"/driver-timeout=", L"/driver-timeout=45", L"/driver-timeout=5s",
        L"/reader", L"/reader=", L"/reader=auto", L"/reader=2", L"/components", L"/components=",
        L"/uninstall", L"-UNINSTALL", L"/norestart", L"/?", L"/help", L"/S"};
    // The program's own name, as deployment tools and Windows write it: its rules differ from
    // the arguments' (a quote only groups, a backslash is a backslash).
    static const wchar_t* const kProgramNames[] = {
        L"x.exe", L"\"C:\\Program Files\\cardsetup\\cardsetup.exe\"",
        L"\"\\\\server\\R&D share\\Łukasz\\cardsetup.exe\"", L"\"C:\\a b\\\"",
        L"C:\\cs\\cardsetup.exe"};
    std::mt19937 random(20261208);
    for (int line = 0; line < 3000 && !HasFailure(); line++) {
        std::wstring text;
        int pieces = (int)(random() % 16);
        for (int i = 0; i < pieces; i++) {
            if (random() % 40 == 0)
                text += std::wstring(1000 + random() % 100, L'x');
            else
                text += kPieces[random() % (sizeof(kPieces) / sizeof(kPieces[0]))];
        }
        TextBeforeGuard guarded(text);
        std::vector<std::wstring> windows = SplitByWindows(text);
        EXPECT_EQ(windows, Split(guarded.Text())) << "line " << line << ": " << Shown(text);
        EXPECT_FALSE(guarded.Touched()) << "line " << line << ": " << Shown(text);
        Options options;
        ZeroMemory(&options, sizeof(options));
        bool understood;
        {
            TextBeforeGuard whole(L"x.exe " + text);
            understood = ParseCommandLine(whole.Text(), &options);
            EXPECT_FALSE(whole.Touched()) << "line " << line << ": " << Shown(text);
        }
        // Whatever the program is named, the line means the same.
        std::wstring named = kProgramNames[random() % (sizeof(kProgramNames) / sizeof(kProgramNames[0]))];
        {
            TextBeforeGuard whole(named + L" " + text);
            Options namedOptions;
            ZeroMemory(&namedOptions, sizeof(namedOptions));
            EXPECT_EQ(understood, ParseCommandLine(whole.Text(), &namedOptions))
                << "line " << line << ": " << Shown(named + L" " + text);
            EXPECT_EQ(0, memcmp(&options, &namedOptions, sizeof(options)))
                << "line " << line << ": " << Shown(named + L" " + text);
            EXPECT_FALSE(whole.Touched()) << "line " << line << ": " << Shown(text);
        }
        for (const std::wstring& argument : windows) {
            TextBeforeGuard one(argument == kTooLong ? L"" : argument);
            const wchar_t* rest = L"";
            ParseSwitch(one.Text(), &rest, &options);
            EXPECT_FALSE(one.Touched()) << "read past \"" << Shown(argument) << "\"";
        }
    }
}

// What deployment tools read: 0 when nothing needed doing, 3010 when the run changed something
// or the driver package asked for a restart, the package's own 1641 and 1618 as they came, 1603
// for an error, a warning of another step, a failed removal of the old library, or a file that
// stayed where the installer's was to go.
TEST(QuietExitCode, FollowsTheReportTheChangesAndTheDriverPackage)
{
    struct Case {
        const char* what;
        ComponentStatus driver;
        ComponentStatus java;
        ComponentStatus netscape;
        int staleJarResult;
        bool filesLeft;
        bool changed;
        DWORD package;
        int exitCode;
    } cases[] = {
        {"everything done", StatusOk, StatusOk, StatusNotRun, 1, false, true, 0, 3010},
        {"nothing needed doing", StatusWarning, StatusOk, StatusNotRun, 1, false, false, 0, 0},
        {"a reader there already", StatusWarning, StatusOk, StatusNotRun, 1, false, true, 0, 3010},
        {"only java asked", StatusNotRun, StatusOk, StatusNotRun, 1, false, true, 0, 3010},
        {"only java, in place", StatusNotRun, StatusOk, StatusNotRun, 1, false, false, 0, 0},
        {"the package asks a restart", StatusOk, StatusOk, StatusNotRun, 1, false, true, 3010, 3010},
        {"the package restarts", StatusOk, StatusOk, StatusNotRun, 1, false, true, 1641, 1641},
        {"the package is busy", StatusError, StatusOk, StatusNotRun, 1, false, true, 1618, 1618},
        {"busy, and java failed", StatusError, StatusError, StatusNotRun, 1, false, true, 1618, 1603},
        {"restarts, and a file left", StatusOk, StatusOk, StatusNotRun, 1, true, true, 1641, 1603},
        {"a driver error", StatusError, StatusOk, StatusNotRun, 1, false, true, 5, 1603},
        {"a driver error, nothing else", StatusError, StatusOk, StatusNotRun, 1, false, false, 0, 1603},
        {"java incomplete", StatusOk, StatusWarning, StatusNotRun, 1, false, true, 0, 1603},
        {"java error", StatusOk, StatusError, StatusNotRun, 1, false, true, 0, 1603},
        {"no netscape", StatusOk, StatusOk, StatusWarning, 1, false, true, 0, 1603},
        {"the old library stayed", StatusOk, StatusOk, StatusNotRun, 0, false, false, 0, 1603},
        {"a file in use left", StatusOk, StatusOk, StatusNotRun, 1, true, true, 0, 1603},
    };
    for (const Case& c : cases) {
        RunResults results;
        ResetRunResults(&results);
        results.driver.status = c.driver;
        results.driverPackageExitCode = c.package;
        results.java.status = c.java;
        results.netscape.status = c.netscape;
        results.staleJarResult = c.staleJarResult;
        EXPECT_EQ(c.exitCode, QuietExitCode(&results, c.filesLeft, c.changed)) << c.what;
    }
}

// In place of the prompt, by why the file was refused: one that its marks or permissions
// protect is left at once (a replacement at the restart would override that protection at
// boot); one in use is tried again and then replaced at the restart; any other is tried again
// and then left, and the run fails.
TEST(QuietDecision, FollowsWhyTheFileWasRefused)
{
    const struct {
        FileRefusal refusal;
        int pass;
        int answer;
    } cases[] = {
        {RefusalProtected, 1, IDIGNORE},        {RefusalInUse, 1, IDTRYAGAIN},
        {RefusalInUse, 4, kReplaceAtRestart},   {RefusalOther, 1, IDTRYAGAIN},
        {RefusalOther, 4, IDIGNORE},
    };
    PrepareQuietRun();
    ConflictDecider decide = g_decideConflict;
    g_decideConflict = NULL;
    g_awaitLauncher = false;
    SetEnvironmentVariableW(L"CARDSETUP_QUIET", NULL);
    ASSERT_TRUE(decide != NULL);
    EXPECT_FALSE(RunLeftAFile());
    for (const auto& c : cases) {
        EXPECT_EQ(c.answer, decide("source", "destination", c.pass, c.refusal))
            << c.refusal << " at pass " << c.pass;
        if (c.answer == IDIGNORE) {
            EXPECT_TRUE(RunLeftAFile()) << c.refusal << " left unnoted";
        }
    }
}

// What the quiet decision is told: the error of opening the file for a change, and its marks.
TEST(QuietDecision, IsToldAFileInUseFromAProtectedOne)
{
    const struct {
        DWORD attributes;
        DWORD openError;
        FileRefusal refusal;
    } cases[] = {
        {FILE_ATTRIBUTE_NORMAL, ERROR_SHARING_VIOLATION, RefusalInUse},
        {FILE_ATTRIBUTE_ARCHIVE, ERROR_LOCK_VIOLATION, RefusalInUse},
        {FILE_ATTRIBUTE_NORMAL, ERROR_USER_MAPPED_FILE, RefusalInUse},
        {FILE_ATTRIBUTE_NORMAL, ERROR_ACCESS_DENIED, RefusalProtected},
        {FILE_ATTRIBUTE_READONLY, ERROR_SUCCESS, RefusalProtected},
        {FILE_ATTRIBUTE_HIDDEN, ERROR_SHARING_VIOLATION, RefusalProtected},
        {FILE_ATTRIBUTE_SYSTEM, ERROR_SUCCESS, RefusalProtected},
        {FILE_ATTRIBUTE_NORMAL, ERROR_SUCCESS, RefusalOther},
        {INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND, RefusalOther},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.refusal, RefusalOf(c.attributes, c.openError))
            << "attributes " << c.attributes << ", error " << c.openError;
}

// The media are the folder of the program's own path, as GetModuleFileNameW gives it; a path
// cut short by its buffer names another folder and is refused.
TEST(MediaFolder, IsTheFolderOfTheProgramsPath)
{
    struct Case {
        const wchar_t* path;
        DWORD capacity;
        const wchar_t* folder;  // NULL: refused
    } cases[] = {
        {L"C:\\media\\cardsetup.exe", 261, L"C:\\media"},
        {L"D:\\cardsetup.exe", 261, L"D:\\"},
        {L"\\\\server\\share\\cardsetup\\cardsetup.exe", 261, L"\\\\server\\share\\cardsetup"},
        {L"\\\\?\\C:\\x\\cardsetup.exe", 261, L"\\\\?\\C:\\x"},
        {L"C:\\\u0141\u00f3d\u017a\\cardsetup.exe", 261, L"C:\\\u0141\u00f3d\u017a"},
        {L"C:\\media\\cardsetup.exe", 23, L"C:\\media"},
        {L"C:\\media\\cardsetup.exe", 22, NULL},  // cut short: the buffer was full
        {L"cardsetup.exe", 261, NULL},
        {L"", 261, NULL},
    };
    for (const Case& c : cases) {
        wchar_t folder[MAX_PATH + 1];
        DWORD length = (DWORD)wcslen(c.path) < c.capacity ? (DWORD)wcslen(c.path) : c.capacity;
        wmemset(folder, L'x', MAX_PATH + 1);
        EXPECT_EQ(c.folder != NULL, FolderOfModulePath(c.path, length, c.capacity, folder,
                                                       MAX_PATH + 1)) << Shown(c.path);
        EXPECT_EQ(std::wstring(c.folder ? c.folder : L""), std::wstring(folder)) << Shown(c.path);
    }
    wchar_t small[8];
    EXPECT_FALSE(FolderOfModulePath(L"C:\\media\\x.exe", 14, 261, small, 8)) << "did not fit";
    EXPECT_EQ(L'\0', small[0]);
}

// ---- Where no one can answer a window ----------------------------------------------------------

namespace {

DesktopFacts g_facts;
DesktopFacts FakeDesktop()
{
    return g_facts;
}

}  // namespace

// Session 0 (services, SYSTEM's tasks and startup scripts) and a window station that is not shown
// make an interactive start quiet; a quiet one stays as it is.
TEST(Unattended, AStartWhereNoOneCanAnswerRunsQuietly)
{
    struct Case {
        bool visible;
        DWORD session;
        bool quietAsked;
        bool madeQuiet;
    } cases[] = {
        {true, 1, false, false}, {true, 2, false, false}, {true, 0, false, true},
        {false, 1, false, true}, {false, 0, false, true}, {false, 0, true, false},
        {true, 1, true, false},
    };
    g_readDesktop = FakeDesktop;
    for (const Case& c : cases) {
        Options options;
        ParseCommandLine(c.quietAsked ? L"x.exe /quiet" : L"x.exe", &options);
        g_facts = {c.visible, c.session};
        EXPECT_EQ(c.madeQuiet, QuietWhereNoOneCanAnswer(&options)) << c.visible << c.session;
        EXPECT_TRUE(options.quiet == (c.quietAsked || c.madeQuiet)) << c.visible << c.session;
    }
    g_readDesktop = ReadDesktopFacts;
}

// What Windows says of a window station the program did not get from a user's logon: a new one
// is not shown. The test process moves into one for the question and back.
TEST(Unattended, ANewWindowStationIsNotShown)
{
    HWINSTA own = GetProcessWindowStation();
    EXPECT_TRUE(SomeoneCanAnswer(ReadDesktopFacts())) << "the test's own desktop is not shown";
    HWINSTA hidden = CreateWindowStationW(NULL, 0, WINSTA_ALL_ACCESS, NULL);
    ASSERT_TRUE(hidden != NULL) << GetLastError();
    ASSERT_TRUE(SetProcessWindowStation(hidden));
    DesktopFacts facts = ReadDesktopFacts();
    SetProcessWindowStation(own);
    CloseWindowStation(hidden);
    EXPECT_FALSE(facts.stationVisible);
}
