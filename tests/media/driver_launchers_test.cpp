// The media's driver launchers under Wine, started the way the driver step starts them: by
// name, from inside Drivers. A launcher double stands in for each vendor package and leaves
// proof that it ran; a missing package must be reported in the window, which then waits.
#include <gtest/gtest.h>

#include <string>

#include "support/test_files.h"

namespace {

std::string MediaDrivers()
{
    return ProgramDirectory() + "\\..\\media\\Drivers";
}

class DriverLaunchers : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name :
             {"twin.bat", "twin64.bat", "twin8.bat", "twin8_64.bat", "driver-package.cmd"})
            ASSERT_TRUE(CopyFileA((MediaDrivers() + "\\" + name).c_str(), (drivers / name).c_str(),
                                  FALSE))
                << name << " is not on the media";
    }

    void AddPackage(const std::string& name)
    {
        ASSERT_TRUE(CopyFileA((ProgramDirectory() + "\\launcher_double.exe").c_str(),
                              (drivers / name).c_str(), FALSE));
    }

    // Starts the launcher as the driver step does, with its input and output on pipes.
    bool Start(const std::string& launcher)
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
        ScopedCurrentDirectory inDrivers(drivers.Path());
        bool started = CreateProcessA(launcher.c_str(), NULL, NULL, NULL, TRUE, 0, NULL, NULL,
                                      &startup, &process) != 0;
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
    }

    TempDir drivers{"Drivers"};
    PROCESS_INFORMATION process = {};
    HANDLE input = NULL;
    HANDLE output = NULL;
};

struct Launcher {
    const char* name;
    const char* package;
};

const Launcher kLaunchers[] = {{"twin.bat", "twin-driver.exe"},
                               {"twin64.bat", "twin64-driver.exe"},
                               {"twin8.bat", "twin8-driver.exe"},
                               {"twin8_64.bat", "twin8_64-driver.exe"}};

}  // namespace

TEST_F(DriverLaunchers, EachStartsItsOwnPackageFromDrivers)
{
    for (const Launcher& launcher : kLaunchers) {
        TearDown();
        process = {};
        input = output = NULL;
        AddPackage(launcher.package);
        ASSERT_TRUE(Start(launcher.name)) << launcher.name;
        ASSERT_TRUE(Ends(15000)) << launcher.name;
        EXPECT_EQ(0u, ExitCode()) << launcher.name;
        std::string proof = drivers / (std::string("ran-") + launcher.package + ".txt");
        EXPECT_TRUE(SamePath(drivers.Path(), ReadTextFile(proof))) << launcher.name;
        DeleteFileA(proof.c_str());
        DeleteFileA((drivers / launcher.package).c_str());
    }
}

TEST_F(DriverLaunchers, AMissingPackageIsNamedAndTheWindowWaitsForAKey)
{
    ASSERT_TRUE(Start("twin64.bat"));
    EXPECT_FALSE(Ends(1500)) << "the launcher did not wait for a key";
    PressKey();
    ASSERT_TRUE(Ends(15000)) << "a key did not end the launcher";
    EXPECT_EQ(1u, ExitCode());
    std::string text = Output();
    EXPECT_NE(std::string::npos, text.find("Brak pakietu sterownika czytnika kart: twin64-driver.exe"))
        << text;
    EXPECT_NE(std::string::npos, text.find("Nacisnij dowolny klawisz")) << text;
}
