// The MSI package's actions on their own: what Windows Installer is told for each exit code of
// the program, and the program's command line made from the action's data. The package itself
// is installed by Wine's msiexec in msi_package.sh.
#include <gtest/gtest.h>

#include <string>

#include "msi/package_actions.h"

namespace {

TEST(PackageActions, TellWindowsInstallerSuccessOrFailureAndWhetherToRestart)
{
    const struct {
        DWORD exitCode;
        UINT result;
        bool restartNeeded;
    } cases[] = {
        {0, ERROR_SUCCESS, false},
        {3010, ERROR_SUCCESS, true},
        {1641, ERROR_SUCCESS, true},
        {1603, ERROR_INSTALL_FAILURE, false},
        {87, ERROR_INSTALL_FAILURE, false},
        // Still there after the retries: an action cannot end 1618.
        {1618, ERROR_INSTALL_FAILURE, false},
        {1638, ERROR_INSTALL_FAILURE, false},
        {0xC0000409, ERROR_INSTALL_FAILURE, false},  // a stack overrun ended the program
    };
    for (const auto& c : cases) {
        bool restartNeeded = !c.restartNeeded;
        EXPECT_EQ(c.result, PackageResultOf(c.exitCode, &restartNeeded)) << c.exitCode;
        EXPECT_EQ(c.restartNeeded, restartNeeded) << c.exitCode;
    }
}

TEST(PackageActions, RunTheProgramOfTheInstalledFolderWithTheAdministratorsOptions)
{
    const struct {
        const wchar_t* data;
        const wchar_t* switches;
        bool withOptions;
        const wchar_t* commandLine;  // nullptr: refused
    } cases[] = {
        {L"C:\\Program Files\\cardsetup\\|/components=java", L"/quiet", true,
         L"\"C:\\Program Files\\cardsetup\\cardsetup.exe\" /quiet /components=java"},
        {L"C:\\Program Files\\cardsetup\\|/components=java", L"/uninstall /quiet", false,
         L"\"C:\\Program Files\\cardsetup\\cardsetup.exe\" /uninstall /quiet"},
        {L"C:\\Program Files\\cardsetup\\|", L"/quiet", true,
         L"\"C:\\Program Files\\cardsetup\\cardsetup.exe\" /quiet"},
        {L"D:\\R&D\\Łukasz", L"/uninstall /quiet", true,
         L"\"D:\\R&D\\Łukasz\\cardsetup.exe\" /uninstall /quiet"},
        {L"C:\\cs\\|/driver-args=\"/S /v/qn\" /driver-timeout=20", L"/quiet", true,
         L"\"C:\\cs\\cardsetup.exe\" /quiet /driver-args=\"/S /v/qn\" /driver-timeout=20"},
        {L"", L"/quiet", true, nullptr},
        {L"|/quiet", L"/quiet", true, nullptr},
        {L"C:\\cs\\|/a|/b", L"/quiet", true, nullptr},
        {L"C:\\cs\\|/a|/b", L"/uninstall /quiet", false, nullptr},
    };
    for (const auto& c : cases) {
        wchar_t commandLine[128];
        bool made = ProgramCommandLine(c.data, c.switches, c.withOptions, commandLine, 128);
        EXPECT_EQ(c.commandLine != nullptr, made) << c.data;
        if (made && c.commandLine) {
            EXPECT_EQ(std::wstring(c.commandLine), commandLine) << c.data;
        }
    }
    // A line that does not fit is refused, never cut: the options would be lost.
    std::wstring options(200, L'x');
    std::wstring data = L"C:\\cs\\|" + options;
    wchar_t commandLine[128];
    EXPECT_FALSE(ProgramCommandLine(data.c_str(), L"/quiet", true, commandLine, 128));
}

}  // namespace
