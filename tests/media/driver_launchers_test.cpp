// The media's driver launchers under Wine, started by the driver step's own start, from inside
// Drivers, on media in folders named as downloads and copies are. A launcher double stands in
// for each vendor package and leaves proof that it ran; a missing package must be reported in
// the window, which then waits.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/reader_driver.h"
#include "support/test_files.h"

namespace {

std::string MediaDrivers()
{
    return ProgramDirectory() + "\\..\\media\\Drivers";
}

struct Launcher {
    const char* name;
    const char* package;
};

const Launcher kLaunchers[] = {{"twin.bat", "twin-driver.exe"},
                               {"twin64.bat", "twin64-driver.exe"},
                               {"twin8.bat", "twin8-driver.exe"},
                               {"twin8_64.bat", "twin8_64-driver.exe"}};

class DriverLaunchers : public ::testing::Test {
protected:
    void SetUp() override { LayOut("cardsetup"); }

    // The media's launchers in <folder>\Drivers, where the next launchers start.
    void LayOut(const std::string& folder)
    {
        ASSERT_TRUE(MakeDirectory(media / folder));
        drivers = media / folder + "\\Drivers";
        ASSERT_TRUE(MakeDirectory(drivers));
        for (const char* name :
             {"twin.bat", "twin64.bat", "twin8.bat", "twin8_64.bat", "driver-package.cmd"})
            ASSERT_TRUE(CopyFileA((MediaDrivers() + "\\" + name).c_str(),
                                  (drivers + "\\" + name).c_str(), FALSE))
                << name << " is not on the media";
    }

    void AddPackage(const std::string& name)
    {
        ASSERT_TRUE(CopyFileA((ProgramDirectory() + "\\launcher_double.exe").c_str(),
                              (drivers + "\\" + name).c_str(), FALSE));
    }

    // Starts the launcher with the driver step's own start, its input and output on pipes; by
    // hand, as a user starts it from the media, without the step's check for its package.
    bool Start(const std::string& launcher, bool byHand = false)
    {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
        HANDLE inputRead;
        HANDLE outputWrite;
        if (!CreatePipe(&inputRead, &input, &inherit, 0) ||
            !CreatePipe(&output, &outputWrite, &inherit, 1 << 16))
            return false;
        SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof(startup));
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inputRead;
        startup.hStdOutput = outputWrite;
        startup.hStdError = outputWrite;
        ScopedCurrentDirectory inDrivers(drivers);
        std::string byHandLine = "cmd.exe /d /c \"\"" + drivers + "\\" + launcher + "\"\"";
        bool started = byHand ? CreateProcessA((SystemDirectory() + "\\cmd.exe").c_str(),
                                               &byHandLine[0], NULL, NULL, TRUE, 0, NULL, NULL,
                                               &startup, &process) != 0
                              : StartDriverLauncher(launcher.c_str(), &startup, TRUE, &process);
        CloseHandle(inputRead);
        CloseHandle(outputWrite);
        return started;
    }
    bool Ends(DWORD timeoutMs) { return WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0; }
    DWORD ExitCode()
    {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
    void PressKey()
    {
        DWORD written;
        WriteFile(input, "\r\n", 2, &written, NULL);
    }
    std::string Output()
    {
        std::string text;
        char buffer[4096];
        DWORD got;
        while (ReadFile(output, buffer, sizeof(buffer), &got, NULL) && got > 0)
            text.append(buffer, got);
        return text;
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("CARDSETUP_DRIVER_ARGUMENTS", NULL);
        SetEnvironmentVariableA("CARDSETUP_QUIET", NULL);
        Release();
    }
    // Ends the launcher if it still runs and closes its handles and pipes, ready for the next.
    void Release()
    {
        if (process.hProcess != NULL) {
            if (!Ends(0))
                TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        if (input != NULL)
            CloseHandle(input);
        if (output != NULL)
            CloseHandle(output);
        process = {};
        input = output = NULL;
    }

    void StartEachPackageFrom(const std::string& folder)
    {
        LayOut(folder);
        for (const Launcher& launcher : kLaunchers) {
            Release();
            AddPackage(launcher.package);
            ASSERT_TRUE(Start(launcher.name)) << folder << " " << launcher.name;
            ASSERT_TRUE(Ends(15000)) << folder << " " << launcher.name;
            EXPECT_EQ(0u, ExitCode()) << folder << " " << launcher.name << "\n" << Output();
            std::string proof = drivers + "\\ran-" + launcher.package + ".txt";
            EXPECT_TRUE(SamePath(drivers, ReadTextFile(proof))) << folder << " " << launcher.name;
            std::string arguments = ReadTextFile(drivers + "\\arguments-" + launcher.package + ".txt");
            std::string switches = "\" /S /v\"/qn REBOOT=R\"";
            EXPECT_EQ(switches, arguments.substr(arguments.size() - std::min(arguments.size(),
                                                                             switches.size())))
                << "the package's own switches did not reach it: " << arguments;
            EXPECT_EQ(std::vector<std::string>({"/S", "/v/qn REBOOT=R"}),
                      ReadLines(drivers + "\\argv-" + launcher.package + ".txt"))
                << "the switches were not separate arguments: " << arguments;
            DeleteFileA(proof.c_str());
            DeleteFileA((drivers + "\\" + launcher.package).c_str());
        }
    }

    TempDir media{"media"};
    std::string drivers;
    PROCESS_INFORMATION process = {};
    HANDLE input = NULL;
    HANDLE output = NULL;
};

}  // namespace

// What only Windows' cmd shows: "call" expands "%" and doubles "^" in the media's path once
// more, and a path outside quotes is cut at a space or "&". The scripts are read as they stand.
TEST(LauncherScripts, PassControlWithoutCallAndUseTheirPathsOnlyInQuotes)
{
    for (const char* name :
         {"twin.bat", "twin64.bat", "twin8.bat", "twin8_64.bat", "driver-package.cmd"}) {
        std::vector<std::string> lines = ReadLines(MediaDrivers() + "\\" + name);
        ASSERT_FALSE(lines.empty()) << name;
        for (const std::string& line : lines) {
            std::string lower = line;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            if (lower.rfind("rem ", 0) == 0 || lower.rfind("::", 0) == 0)
                continue;
            EXPECT_EQ(std::string::npos, lower.find("call ")) << name << ": " << line;
            for (const char* path : {"%~dp0", "%package%"}) {
                for (size_t at = line.find(path); at != std::string::npos;
                     at = line.find(path, at + 1))
                    EXPECT_EQ(1, std::count(line.begin(), line.begin() + at, '"') % 2)
                        << name << ": " << path << " outside quotes in: " << line;
            }
        }
    }
}

// Each launcher runs its own package, from media in folders whose names cmd.exe would take
// apart: spaces, "&", "^", brackets and Polish letters.
TEST_F(DriverLaunchers, EachStartsItsOwnPackageWhateverTheMediaFolderIsNamed)
{
    SetEnvironmentVariableA("CARDSETUP_DRIVER_ARGUMENTS", "/S /v\"/qn REBOOT=R\"");
    for (const char* folder : {"cardsetup v2.4", "R&D (x64) a^b", "Nośnik źródłowy"})
        StartEachPackageFrom(folder);
}

// A downloaded folder keeps "%20" in its name. Wine's cmd expands "%" once more in the text that
// %~dp0 yields; Windows does that only through "call", which the launchers do not use.
TEST_F(DriverLaunchers, APercentInTheFolderNameIsKept_WindowsOnly)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine's cmd expands % again in the text of %~dp0; Windows does not";
    StartEachPackageFrom("cardsetup%20v2.4");
}

TEST_F(DriverLaunchers, AMissingPackageIsNamedAndTheWindowWaitsForAKey)
{
    LayOut("R&D (x64)");
    EXPECT_FALSE(Start("twin64.bat")) << "the driver step started a launcher without its package";
    ASSERT_TRUE(Start("twin64.bat", true));
    EXPECT_FALSE(Ends(1500)) << "the launcher did not wait for a key";
    PressKey();
    ASSERT_TRUE(Ends(15000)) << "a key did not end the launcher";
    EXPECT_EQ(1u, ExitCode());
    std::string text = Output();
    EXPECT_NE(std::string::npos, text.find("Brak pakietu sterownika czytnika kart: twin64-driver.exe"))
        << text;
    EXPECT_NE(std::string::npos, text.find("Oczekiwano go w katalogu: \"" + drivers + "\\\""))
        << text;
    EXPECT_NE(std::string::npos, text.find("Nacisnij dowolny klawisz")) << text;

    // A quiet run waits for the launcher: it must end without a key.
    Release();
    SetEnvironmentVariableA("CARDSETUP_QUIET", "1");
    ASSERT_TRUE(Start("twin64.bat", true));
    EXPECT_TRUE(Ends(5000)) << "a quiet run's launcher waited for a key";
    EXPECT_NE(0u, ExitCode());
}

// Deployment tools and the quiet run judge the driver by the launcher's exit code: a package's
// failure (5) or its request for a restart (3010) must come out of each launcher unchanged.
TEST_F(DriverLaunchers, EachEndsWithItsPackagesExitCode)
{
    for (const Launcher& launcher : kLaunchers) {
        AddPackage(launcher.package);
        std::string proof = drivers + "\\ran-" + launcher.package + ".txt";
        for (int code : {5, 3010}) {
            Release();
            DeleteFileA(proof.c_str());
            ASSERT_TRUE(WriteTextFile(drivers + "\\exit-status-" + launcher.package + ".txt",
                                      std::to_string(code)));
            ASSERT_TRUE(Start(launcher.name)) << launcher.name;
            ASSERT_TRUE(Ends(15000)) << launcher.name;
            EXPECT_EQ(DWORD(code), ExitCode()) << launcher.name << "\n" << Output();
            EXPECT_TRUE(SamePath(drivers, ReadTextFile(proof))) << launcher.name << " ran no package";
        }
    }
}
