// The Apps & features entry read back from the 64-bit registry view as winget and Intune read it,
// and listed by a real client: Wine's own Add/Remove Programs (uninstaller --list).
#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>

#include <string>

#include "shell/apps_entry.h"
#include "support/test_files.h"

namespace {

// A value of the entry as the view shows it: its type and bytes, or an empty type where the key
// or the value is missing.
struct Value {
    DWORD type = 0;
    std::wstring text;
    DWORD number = 0;
};

Value ReadValue(const wchar_t* name, REGSAM view = KEY_WOW64_64KEY)
{
    Value value;
    HKEY key;
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppsEntryKey, 0, KEY_QUERY_VALUE | view, &key) != 0)
        return value;
    if (RegQueryValueExW(key, name, NULL, &value.type, (BYTE*)data, &size) != ERROR_SUCCESS)
        value.type = 0;
    RegCloseKey(key);
    value.text = value.type == REG_SZ ? data : L"";
    if (value.type == REG_DWORD)
        memcpy(&value.number, data, sizeof(value.number));
    return value;
}

// What Wine's Add/Remove Programs lists: a line "<key name>|||<DisplayName>" for each entry.
// Its output goes to a file: read from a pipe, the list never ended under Wine.
std::string ListedPrograms()
{
    TempDir dir("listed");
    std::string listed = dir / "listed.txt";
    std::string line = SystemDirectory() + "\\cmd.exe /d /c \"\"" + SystemDirectory() +
                       "\\uninstaller.exe\" --list >\"" + listed + "\"\"";
    STARTUPINFOA startup = {};
    PROCESS_INFORMATION process = {};

    startup.cb = sizeof(startup);
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &startup,
                        &process))
        return "<not started>";
    bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return ended ? ReadTextFile(listed) : "<still running>";
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

}  // namespace

TEST(AppsEntry, HoldsWhatWindowsAndTheDeploymentToolsReadInThe64BitViewOnly)
{
    const wchar_t folder[] = L"C:\\Program Files\\Łódź & R&D";
    ASSERT_EQ((DWORD)ERROR_SUCCESS, WriteAppsEntry(folder, 80, L"20261208"));
    const struct {
        const wchar_t* name;
        std::wstring text;
    } texts[] = {
        {L"DisplayName", L"Instalator czytnika kart mikroprocesorowych"},
        {L"DisplayVersion", L"2.4"},
        {L"Publisher", L"Projekt cardsetup"},
        {L"InstallLocation", folder},
        {L"InstallDate", L"20261208"},
        {L"DisplayIcon", std::wstring(folder) + L"\\cardsetup.exe"},
        {L"UninstallString", L"\"" + std::wstring(folder) + L"\\cardsetup.exe\" /uninstall"},
        {L"QuietUninstallString",
         L"\"" + std::wstring(folder) + L"\\cardsetup.exe\" /uninstall /quiet"},
    };
    for (const auto& text : texts) {
        EXPECT_EQ((DWORD)REG_SZ, ReadValue(text.name).type) << text.name;
        EXPECT_EQ(text.text, ReadValue(text.name).text) << text.name;
    }
    const struct {
        const wchar_t* name;
        DWORD number;
    } numbers[] = {{L"VersionMajor", 2}, {L"VersionMinor", 4}, {L"EstimatedSize", 80},
                   {L"NoModify", 1},     {L"NoRepair", 1}};
    for (const auto& number : numbers) {
        EXPECT_EQ((DWORD)REG_DWORD, ReadValue(number.name).type) << number.name;
        EXPECT_EQ(number.number, ReadValue(number.name).number) << number.name;
    }
    EXPECT_EQ(0u, ReadValue(L"SystemComponent").type) << "winget skips a system component";
    EXPECT_EQ(0u, ReadValue(L"DisplayName", KEY_WOW64_32KEY).type) << "an entry in WOW6432Node";

    ASSERT_EQ((DWORD)ERROR_SUCCESS, WriteAppsEntry(folder, 80, L"20261209"));
    std::string listed = ListedPrograms();
    EXPECT_EQ(1u, Count(listed, "cardsetup|||Instalator czytnika kart mikroprocesorowych"))
        << listed;

    EXPECT_EQ((DWORD)ERROR_SUCCESS, RemoveAppsEntry());
    EXPECT_EQ(0u, ReadValue(L"DisplayName").type);
    listed = ListedPrograms();
    EXPECT_EQ(0u, Count(listed, "cardsetup|||")) << listed;
    EXPECT_NE(0u, listed.find('<')) << listed;  // the list was read
    EXPECT_EQ((DWORD)ERROR_SUCCESS, RemoveAppsEntry()) << "a second removal found nothing to do";
}
