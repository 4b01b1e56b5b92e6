// Reader detection and the driver launch, with a winscard.dll double in the test prefix's
// system directory and launchers in a test Drivers directory that leave proof that they ran.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "deploy/process_start.h"
#include "driver/reader_driver.h"
#include "support/registry_keys.h"
#include "support/test_files.h"

namespace {

std::string SystemLibrary()
{
    return SystemDirectory() + "\\winscard.dll";
}

// Waits for a launcher's proof file (five seconds at most) and gives the directory it ran in.
std::string WaitForProof(const std::string& path)
{
    for (int i = 0; i < 250 && !FileExists(path); i++)
        Sleep(20);
    Sleep(50);
    std::string content = ReadTextFile(path);
    while (!content.empty() && (content.back() == '\n' || content.back() == '\r' ||
                                content.back() == ' '))
        content.pop_back();
    return content;
}

class ReaderDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseLibrary("winscard_double.dll");
        SetReaders("", "");
        memset(message, 'x', sizeof(message));
        ASSERT_TRUE(MakeDirectory(drivers));
        // How cmd.exe was given the script (%0), then the directory it ran in.
        ASSERT_TRUE(WriteTextFile(drivers + "\\twin64.bat",
                                  "@echo %0> started-as.txt\r\n@cd > ran-twin64.txt\r\n"));
        ASSERT_TRUE(WriteTextFile(drivers + "\\twin.bat", "@cd > ran-twin.txt\r\n"));
        for (const char* package : {"twin64-driver.exe", "twin-driver.exe"})
            ASSERT_TRUE(WriteTextFile(drivers + "\\" + package, "the vendor's package"));
        ASSERT_TRUE(CopyFileA((ProgramDirectory() + "\\launcher_double.exe").c_str(),
                              (drivers + "\\410.exe").c_str(), FALSE));
    }
    void TearDown() override
    {
        UseLibrary("winscard_double.dll");
        SetReaders("", "");
        g_startProcess = CreateProcessA;
        g_loadLibrary = LoadLibraryExA;
        g_awaitLauncher = false;
        SetEnvironmentVariableA(kDriverArgumentsVariable, NULL);
        g_launcherTimeLimitMs = INFINITE;
    }

    void UseLibrary(const char* name)
    {
        ASSERT_TRUE(CopyFileA((ProgramDirectory() + "\\" + name).c_str(), SystemLibrary().c_str(),
                              FALSE))
            << "cannot replace " << SystemLibrary();
    }
    void SetReaders(const char* names, const char* mode)
    {
        SetEnvironmentVariableA("CARDSETUP_SCARD_READERS", names);
        SetEnvironmentVariableA("CARDSETUP_SCARD_MODE", mode);
    }
    bool MessageUntouched() const
    {
        for (char c : message)
            if (c != 'x')
                return false;
        return true;
    }
    // Runs the step from the media directory and checks that it comes back there, with nothing
    // left open: no library's file, no launcher's process.
    ComponentStatus Install(ReaderType type, char* buffer)
    {
        ScopedCurrentDirectory inMedia(media.Path());
        DWORD handlesBefore = OpenHandleCount();
        ComponentStatus status = InstallReaderDriver(type, buffer, kMessageCapacity);
        EXPECT_EQ(handlesBefore, OpenHandleCount()) << "a handle was left open";
        EXPECT_TRUE(SamePath(media.Path(), CurrentDirectory())) << CurrentDirectory();
        return status;
    }

    TempDir media{"media"};
    std::string drivers = media / "Drivers";
    char message[kMessageCapacity];
};

// How the step asked Windows to start its launcher, recorded before the start goes ahead.
struct StartRecord {
    std::string application;
    std::string commandLine;
    DWORD flags;
    std::string script;  // the variable through which cmd.exe gets a script's path
};
std::vector<StartRecord> g_starts;

BOOL WINAPI RecordStart(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES process,
                        LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                        LPCSTR directory, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION information)
{
    char script[MAX_PATH + 1] = "";
    GetEnvironmentVariableA("CARDSETUP_DRIVER_LAUNCHER", script, sizeof(script));
    g_starts.push_back({application ? application : "", commandLine ? commandLine : "", flags,
                        script});
    return CreateProcessA(application, commandLine, process, thread, inherit, flags, environment,
                          directory, startup, information);
}

// A loader as on Windows 7 without KB2533623: the search flag is refused; every other load is
// recorded and made.
std::vector<std::string> g_loads;
HMODULE WINAPI LoadWithoutSearchFlag(LPCSTR name, HANDLE file, DWORD flags)
{
    if (flags & LOAD_LIBRARY_SEARCH_SYSTEM32) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    g_loads.push_back(name);
    return LoadLibraryExA(name, file, flags);
}

}  // namespace

TEST(ReaderTypes, TheDialogOffersTwoRowsForTheirLaunchers)
{
    EXPECT_STREQ("GemPC(Twin,Tokens)-Win7/XP/Vista/2000-64bit", ReaderTypeTable[0].displayName);
    EXPECT_EQ(2, ReaderTypeTable[0].type);
    EXPECT_STREQ("GemPC(Twin,Tokens)-Win8-64bit", ReaderTypeTable[1].displayName);
    EXPECT_EQ(5, ReaderTypeTable[1].type);
    const char* expected[] = {"twin.bat", "410.exe", "twin64.bat", NULL, "twin8.bat", "twin8_64.bat"};
    for (ReaderType type = 0; type < 6; type++) {
        if (expected[type] == NULL)
            EXPECT_EQ(NULL, DriverLauncherName(type));
        else
            EXPECT_STREQ(expected[type], DriverLauncherName(type)) << type;
    }
    EXPECT_EQ(NULL, DriverLauncherName(-1));
    EXPECT_EQ(NULL, DriverLauncherName(6));
}

TEST(ReaderListScan, FindsTheFamilyNameOnlyWithinOneName)
{
    struct Case {
        const char* list;
        int32_t length;
        bool found;
    } cases[] = {
        {"Gemplus USB Smart Card Reader 0\0", 33, true},
        {"GGEMPLUS\0", 10, true},
        {"GEMGEMPLUS\0", 12, true},
        {"Reader GEMPLU\0S card\0", 22, false},
        {"Other\0xgemplus", 14, true},
        {"Other\0xgemplus", 13, false},
        {"G\xC9MPLUS\0", 9, false},  // an accented E
        {"GEMPLU\xD3\0", 9, false},
        {"GEMPLUs", 7, true},
        {"gEmPlUs\0\0", 9, true},
        {"", 0, false},
        {"GEMPLUS", 6, false},
        {"GEM PLUS\0", 9, false},
        {"GEMPLU\x13", 7, false},  // 0x13 | 0x20 is not 's'
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.found, ReaderListContainsGemplus(c.list, c.length))
            << std::string(c.list, c.length);
}

TEST_F(ReaderDriver, DetectsAGemplusReaderThroughPcsc)
{
    SetReaders("Gemplus USB Smart Card Reader 0", "");
    EXPECT_TRUE(DetectGemplusReader());
    SetReaders("Other Reader 0|gemplus gempc twin 1", "");
    EXPECT_TRUE(DetectGemplusReader());
    SetReaders("Other Reader 0|xgemplus", "unterminated");
    EXPECT_TRUE(DetectGemplusReader());
}

TEST_F(ReaderDriver, EveryPcscFailureAnswersNotFound)
{
    SetReaders("Other Reader 0", "");
    EXPECT_FALSE(DetectGemplusReader());
    SetReaders("", "");
    EXPECT_FALSE(DetectGemplusReader());
    SetReaders("", "empty");
    EXPECT_FALSE(DetectGemplusReader());
    SetReaders("GEMPLUS Reader", "length-fails");
    EXPECT_FALSE(DetectGemplusReader());
    SetReaders("GEMPLUS Reader", "list-fails");
    EXPECT_FALSE(DetectGemplusReader());
    // The reader was removed between the two calls: only the shorter list counts.
    SetReaders("Other Reader 0|GEMPLUS Reader 1", "shrinks");
    EXPECT_FALSE(DetectGemplusReader());
    UseLibrary("winscard_without_function.dll");
    SetReaders("GEMPLUS Reader", "");
    EXPECT_FALSE(DetectGemplusReader());
}

TEST_F(ReaderDriver, WhereTheSearchFlagIsRefusedTheLibraryIsLoadedByItsFullPath)
{
    g_loads.clear();
    g_loadLibrary = LoadWithoutSearchFlag;
    SetReaders("GEMPLUS GemPC Twin 0", "");
    {
        ScopedCurrentDirectory inMedia(media.Path());
        EXPECT_TRUE(DetectGemplusReader());
    }
    ASSERT_EQ(1u, g_loads.size());
    EXPECT_TRUE(SamePath(SystemLibrary(), g_loads[0])) << g_loads[0];
}

TEST_F(ReaderDriver, NoLibraryAnswersNotFound)
{
    ASSERT_TRUE(DeleteFileA(SystemLibrary().c_str()));
    EXPECT_FALSE(DetectGemplusReader());
}

TEST_F(ReaderDriver, APlantedLibraryBesideTheProgramOrInTheCurrentDirectoryIsNeverLoaded)
{
    std::string besideProgram = ProgramDirectory() + "\\winscard.dll";
    std::string planted = ProgramDirectory() + "\\winscard_planted.dll";
    ASSERT_TRUE(CopyFileA(planted.c_str(), besideProgram.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(planted.c_str(), (media / "winscard.dll").c_str(), FALSE));
    SetReaders("Other Reader 0", "");
    bool found;
    {
        ScopedCurrentDirectory inMedia(media.Path());
        found = DetectGemplusReader();
    }
    EXPECT_FALSE(found) << "a winscard.dll outside the system directory was loaded";

    // Where the system's loader lacks the search flag, the library is loaded by its full path.
    char loaded[MAX_PATH + 1] = "";
    {
        ScopedCurrentDirectory inMedia(media.Path());
        HMODULE library = LoadFromSystemDirectory("winscard.dll");
        ASSERT_TRUE(library != NULL);
        GetModuleFileNameA(library, loaded, sizeof(loaded));
        FreeLibrary(library);
    }
    DeleteFileA(besideProgram.c_str());
    EXPECT_TRUE(SamePath(SystemLibrary(), loaded)) << loaded;
}

TEST_F(ReaderDriver, AFoundReaderIsAWarningAndStartsNothing)
{
    SetReaders("Gemplus USB Smart Card Reader 0", "");
    EXPECT_EQ(StatusWarning, Install(2, message));
    EXPECT_STREQ("Wykryto już zainstalowany w systemie czytnik rodziny GEMPLUS", message);
    RemoveTree(drivers);  // a missing Drivers goes unnoticed: it is never entered
    EXPECT_EQ(StatusWarning, Install(2, NULL));
    Sleep(300);
    EXPECT_FALSE(FileExists(drivers + "\\ran-twin64.txt"));
}

TEST_F(ReaderDriver, StartsTheLauncherInDriversWithoutWaiting)
{
    SetReaders("Other Reader 0", "");
    EXPECT_EQ(StatusOk, Install(2, message));
    EXPECT_TRUE(MessageUntouched());
    EXPECT_TRUE(SamePath(drivers, WaitForProof(drivers + "\\ran-twin64.txt")));
    // By its full path: from a network share cmd.exe starts in the Windows directory instead,
    // where a bare name is not found.
    EXPECT_EQ("\"" + drivers + "\\twin64.bat\"", WaitForProof(drivers + "\\started-as.txt"));
    EXPECT_EQ(StatusOk, Install(1, message));
    EXPECT_TRUE(SamePath(drivers, WaitForProof(drivers + "\\ran-410.exe.txt")));
}

// What Windows is asked for: a script by its full path through the system's cmd.exe with AutoRun
// off (/d) and the settings the scripts rely on, the path in a variable that cmd does not parse;
// a program directly, its quoted full path as its command line. Wine shows neither AutoRun nor
// how a script would start without cmd, so the requests themselves are checked.
TEST_F(ReaderDriver, EachLauncherIsStartedAsWindowsNeedsItStarted)
{
    SetReaders("Other Reader 0", "");
    g_starts.clear();
    g_startProcess = RecordStart;
    EXPECT_EQ(StatusOk, Install(2, message));
    EXPECT_EQ(StatusOk, Install(1, message));
    WaitForProof(drivers + "\\ran-twin64.txt");
    WaitForProof(drivers + "\\ran-410.exe.txt");

    ASSERT_EQ(2u, g_starts.size());
    EXPECT_TRUE(SamePath(SystemDirectory() + "\\cmd.exe", g_starts[0].application))
        << g_starts[0].application;
    EXPECT_EQ("cmd.exe /d /e:on /v:off /c \"\"%CARDSETUP_DRIVER_LAUNCHER%\"\"", g_starts[0].commandLine);
    EXPECT_EQ(drivers + "\\twin64.bat", g_starts[0].script);
    EXPECT_EQ(drivers + "\\410.exe", g_starts[1].application);
    EXPECT_EQ("\"" + drivers + "\\410.exe\"", g_starts[1].commandLine);
    EXPECT_EQ("", g_starts[1].script);
    for (const StartRecord& start : g_starts)
        EXPECT_EQ(0u, start.flags) << start.application;
}

// A quiet run awaits its launcher where no one is at the screen: a console window of its own
// would flash up on the desktop of the user at the PC. The request is checked for both kinds
// of launcher; the launcher has ended by the time the step returns.
TEST_F(ReaderDriver, AnAwaitedLauncherIsStartedWithoutAConsoleWindow)
{
    SetReaders("Other Reader 0", "");
    g_starts.clear();
    g_startProcess = RecordStart;
    g_awaitLauncher = true;
    EXPECT_EQ(StatusOk, Install(2, message));
    EXPECT_TRUE(FileExists(drivers + "\\ran-twin64.txt")) << "the script was not awaited";
    EXPECT_EQ(StatusOk, Install(1, message));
    EXPECT_TRUE(FileExists(drivers + "\\ran-410.exe.txt")) << "the program was not awaited";

    ASSERT_EQ(2u, g_starts.size());
    for (const StartRecord& start : g_starts)
        EXPECT_EQ(DWORD(CREATE_NO_WINDOW), start.flags) << start.application;
}

// A program launcher gets the package's switches behind its quoted path, each one an argument
// of its own: glued to the closing quote, "/S" would become part of the program's name.
TEST_F(ReaderDriver, AProgramLauncherGetsTheSwitchesAsArgumentsOfTheirOwn)
{
    SetReaders("Other Reader 0", "");
    SetEnvironmentVariableA(kDriverArgumentsVariable, "/S /v\"/qn REBOOT=R\"");
    g_awaitLauncher = true;
    EXPECT_EQ(StatusOk, Install(1, message));
    EXPECT_EQ(std::vector<std::string>({"/S", "/v/qn REBOOT=R"}),
              ReadLines(drivers + "\\argv-410.exe.txt"))
        << ReadTextFile(drivers + "\\arguments-410.exe.txt");
    EXPECT_EQ("\"" + drivers + "\\410.exe\" /S /v\"/qn REBOOT=R\"",
              ReadTextFile(drivers + "\\arguments-410.exe.txt"));
}

TEST_F(ReaderDriver, NoPcscLibraryStillStartsTheLauncher)
{
    ASSERT_TRUE(DeleteFileA(SystemLibrary().c_str()));
    EXPECT_EQ(StatusOk, Install(0, NULL));
    EXPECT_TRUE(SamePath(drivers, WaitForProof(drivers + "\\ran-twin.txt")));
}

TEST_F(ReaderDriver, AMissingLauncherOrPackageIsAnErrorNamingTheLauncher)
{
    ASSERT_TRUE(DeleteFileA((drivers + "\\twin64-driver.exe").c_str()));
    EXPECT_EQ(StatusError, Install(2, message));
    EXPECT_STREQ("Błąd uruchomienia zewn. sterownika: Drivers\\twin64.bat", message);
    Sleep(300);
    EXPECT_FALSE(FileExists(drivers + "\\ran-twin64.txt")) << "a launcher without its package ran";
    ASSERT_TRUE(MakeDirectory(drivers + "\\twin64-driver.exe"));  // a directory is no package
    EXPECT_EQ(StatusError, Install(2, NULL));

    EXPECT_EQ(StatusError, Install(5, message));
    EXPECT_STREQ("Błąd uruchomienia zewn. sterownika: Drivers\\twin8_64.bat", message);
    EXPECT_EQ(StatusError, Install(5, NULL));
    ASSERT_TRUE(WriteTextFile(drivers + "\\twin8_64-driver.exe", "the vendor's package"));
    ASSERT_TRUE(MakeDirectory(drivers + "\\twin8_64.bat"));  // cmd.exe would start all the same
    memset(message, 'x', sizeof(message));
    EXPECT_EQ(StatusError, Install(5, message));
    EXPECT_STREQ("Błąd uruchomienia zewn. sterownika: Drivers\\twin8_64.bat", message);
}

// Where the ANSI code page cannot name the media folder (Windows 7 and 8 keep their own), the
// launcher is not started: its ANSI path leads to a look-alike folder that anyone may have made,
// and the installer runs elevated.
TEST_F(ReaderDriver, MediaTheCodePageCannotNameStartNothingLeastOfAllTheirLookAlike)
{
    TempDir downloads{"downloads"};
    for (const wchar_t* name : {kNameWithLookAlike, kNameWithoutLookAlike}) {
        std::wstring folder = Wide(downloads.Path()) + L"\\" + name;
        std::string lookAlike = MakeLookAlikeMedia(folder);
        ASSERT_TRUE(name != kNameWithLookAlike || !lookAlike.empty()) << "no look-alike made";
        MovedTo moved(media.Path(), folder);
        ASSERT_TRUE(moved.Moved());
        memset(message, 'x', sizeof(message));
        {
            ScopedCurrentDirectory inMedia(folder);
            EXPECT_EQ(StatusError, InstallReaderDriver(2, message, kMessageCapacity));
        }
        EXPECT_STREQ("Błąd uruchomienia zewn. sterownika: Drivers\\twin64.bat", message);
        Sleep(300);
        if (!lookAlike.empty()) {
            EXPECT_FALSE(FileExists(lookAlike + "\\Drivers\\ran-twin64.txt")) << lookAlike;
        }
    }
    EXPECT_FALSE(FileExists(drivers + "\\ran-twin64.txt"));
}

TEST_F(ReaderDriver, ATypeWithoutLauncherIsAnError)
{
    EXPECT_EQ(StatusError, Install(3, message));
    EXPECT_STREQ("Nieprawidłowy typ czytnika", message);
    EXPECT_EQ(StatusError, Install(-7, NULL));
}

TEST_F(ReaderDriver, NoDriversDirectoryMeansIncompleteMedia)
{
    RemoveTree(drivers);
    EXPECT_EQ(StatusError, Install(2, message));
    EXPECT_STREQ("Instalator jest niekompletny", message);
}

TEST_F(ReaderDriver, MessagesAreCutToTheCapacity)
{
    ScopedCurrentDirectory inMedia(media.Path());
    EXPECT_EQ(StatusError, InstallReaderDriver(5, message, 12));
    EXPECT_STREQ("Błąd urucho", message);
    EXPECT_EQ('x', message[12]);
    EXPECT_EQ(StatusError, InstallReaderDriver(3, message, 0));
    EXPECT_STREQ("Błąd urucho", message);
}

// A quiet run awaits the package: its own "restart needed" (3010) and "restart begun" (1641) are
// success, and come through to the run with every other code; 1618 ("another installation is at
// work") and any other failure are the step's error.
TEST_F(ReaderDriver, AnAwaitedPackagesOwnExitCodeComesThrough)
{
    struct Case {
        DWORD code;
        ComponentStatus status;
    } cases[] = {{0, StatusOk}, {3010, StatusOk}, {1641, StatusOk}, {1618, StatusError},
                 {5, StatusError}};
    SetReaders("Other Reader 0", "");
    g_awaitLauncher = true;
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteTextFile(drivers + "\\twin64.bat",
                                  "@exit /b " + std::to_string(c.code) + "\r\n"));
        DWORD packageExitCode = 12345;
        memset(message, 'x', sizeof(message));
        ScopedCurrentDirectory inMedia(media.Path());
        EXPECT_EQ(c.status, InstallReaderDriver(2, message, kMessageCapacity, &packageExitCode))
            << c.code;
        EXPECT_EQ(c.code, packageExitCode);
        if (c.status == StatusError) {
            EXPECT_EQ("Instalator sterownika zakończył się błędem " + std::to_string(c.code) +
                          ": Drivers\\twin64.bat",
                      std::string(message));
        } else {
            EXPECT_TRUE(MessageUntouched()) << c.code;
        }
    }
}

// The package is awaited no longer than the limit; then the step is an error that says so, and
// the package is left to finish on its own.
TEST_F(ReaderDriver, AnAwaitedPackagePastTheTimeLimitIsLeftRunning)
{
    SetReaders("Other Reader 0", "");
    ASSERT_TRUE(WriteTextFile(drivers + "\\delay-ms-410.exe.txt", "3000"));
    g_awaitLauncher = true;
    g_launcherTimeLimitMs = 500;
    DWORD packageExitCode = 12345;
    EXPECT_EQ(StatusError, Install(1, message));
    {
        ScopedCurrentDirectory inMedia(media.Path());
        EXPECT_EQ(StatusError, InstallReaderDriver(1, NULL, 0, &packageExitCode));
    }
    EXPECT_STREQ("Instalator sterownika nie zakończył się w wyznaczonym czasie (nadal działa): "
                 "Drivers\\410.exe",
                 message);
    EXPECT_EQ(0u, packageExitCode);
    EXPECT_TRUE(SamePath(drivers, WaitForProof(drivers + "\\ran-410.exe.txt")))
        << "the package was not left running";
}
