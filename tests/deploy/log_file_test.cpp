// Where the log is made and how: a default name that something already holds (a file in use, a
// folder, a link) is never written through, the log asked for replaces what its name held
// without following it, and the default folder is the one Windows offers each account.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "deploy/log_file.h"
#include "support/test_files.h"

namespace {

// The random parts the test plans: each call gives the next byte, eight times over.
std::vector<unsigned char> g_plannedBytes;

BOOLEAN WINAPI PlannedRandom(PVOID buffer, ULONG length)
{
    if (g_plannedBytes.empty())
        return FALSE;
    memset(buffer, g_plannedBytes.front(), length);
    g_plannedBytes.erase(g_plannedBytes.begin());
    return TRUE;
}

std::string g_offeredFolder;

// GetTempPath2W as Windows 11 gives it: the folder the test chose, with its final backslash.
DWORD WINAPI OfferedTempPath(DWORD length, LPWSTR buffer)
{
    std::wstring folder = Wide(g_offeredFolder + "\\");
    if (folder.size() + 1 > length)
        return 0;
    wcscpy(buffer, folder.c_str());
    return (DWORD)folder.size();
}

std::string NameFor(unsigned char byte, const char* suffix)
{
    char hex[3];
    std::string name = "cardsetup-";
    snprintf(hex, sizeof(hex), "%02x", byte);
    for (int i = 0; i < 8; i++)
        name += hex;
    return name + suffix;
}

bool WriteAndClose(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    bool wrote = WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL) &&
                 written == text.size();
    CloseHandle(file);
    return wrote;
}

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    ForEachEntry(folder, [&](const std::string& name, bool) { names.push_back(name); });
    return names;
}

class LogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_offeredFolder = folder.Path();
        g_tempPath2 = OfferedTempPath;
        g_randomBytes = PlannedRandom;
        ASSERT_TRUE(WriteTextFile(victim, "a file of another account"));
    }
    void TearDown() override
    {
        g_tempPath2 = savedTempPath;
        g_randomBytes = savedRandom;
        g_plannedBytes.clear();
    }

    TempDir folder{"log-folder"};
    TempDir elsewhere{"elsewhere"};
    std::string victim = elsewhere / "victim.txt";
    std::string missing = elsewhere / "made-through-a-link.txt";
    TempPathFunction savedTempPath = g_tempPath2;
    RandomFunction savedRandom = g_randomBytes;
};

// Whatever holds the first name, the log goes to the next: the file in use keeps its content,
// the folder stays a folder, and nothing a link names is written or made.
TEST_F(LogFile, ADefaultNameThatIsTakenIsNeverWrittenThrough)
{
    std::string held = folder / NameFor(0x11, ".log");
    ASSERT_TRUE(WriteTextFile(held, "an earlier file"));
    FileHold inUse(held, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(MakeDirectory(folder / NameFor(0x22, ".log")));
    ASSERT_TRUE(MakeSymbolicLink(folder / NameFor(0x33, ".log"), victim));
    ASSERT_TRUE(MakeSymbolicLink(folder / NameFor(0x44, ".log"), missing));

    for (unsigned char taken : {0x11, 0x22, 0x33, 0x44}) {
        wchar_t path[MAX_PATH + 1] = L"";
        g_plannedBytes = {taken, 0x55};
        HANDLE log = CreateDefaultLogFile(true, path, MAX_PATH + 1);
        ASSERT_NE(INVALID_HANDLE_VALUE, log) << (int)taken;
        EXPECT_EQ(Wide(folder / NameFor(0x55, ".log")), path) << (int)taken;
        EXPECT_TRUE(WriteAndClose(log, "this run"));
        EXPECT_EQ("this run", ReadTextFile(folder / NameFor(0x55, ".log")));
        EXPECT_TRUE(DeleteFileW(path));
    }
    EXPECT_EQ("an earlier file", ReadTextFile(held));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, Attributes(folder / NameFor(0x22, ".log")) &
                                            FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ("a file of another account", ReadTextFile(victim));
    EXPECT_FALSE(FileExists(missing));
}

// The log asked for replaces an earlier, longer log whole, and a link or a second name of
// another file in its place is replaced, never followed. A folder there is refused.
TEST_F(LogFile, TheNamedLogReplacesWhatItsNameHeldWithoutFollowingIt)
{
    std::string log = folder / "cardsetup.log";
    struct Place {
        const char* what;
        bool (*make)(const std::string& log, const std::string& victim, const std::string& missing);
    } places[] = {
        {"an earlier, longer log",
         [](const std::string& at, const std::string&, const std::string&) {
             return WriteTextFile(at, "an earlier run's log, longer than this one\r\n");
         }},
        {"a link to another file",
         [](const std::string& at, const std::string& to, const std::string&) {
             return MakeSymbolicLink(at, to);
         }},
        {"a link to nothing yet",
         [](const std::string& at, const std::string&, const std::string& to) {
             return MakeSymbolicLink(at, to);
         }},
        {"a second name of another file",
         [](const std::string& at, const std::string& to, const std::string&) {
             return CreateHardLinkA(at.c_str(), to.c_str(), NULL) != 0;
         }},
    };
    for (const Place& place : places) {
        ASSERT_TRUE(place.make(log, victim, missing)) << place.what;
        g_plannedBytes = {0x66};
        HANDLE file = CreateNamedLogFile(Wide(log).c_str());
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << place.what;
        EXPECT_TRUE(WriteAndClose(file, "this run"));
        EXPECT_EQ("this run", ReadTextFile(log)) << place.what;
        EXPECT_EQ("a file of another account", ReadTextFile(victim)) << place.what;
        EXPECT_FALSE(FileExists(missing)) << place.what;
        EXPECT_EQ(std::vector<std::string>{"cardsetup.log"}, Entries(folder.Path())) << place.what;
        ASSERT_TRUE(DeleteFileA(log.c_str()));
    }

    ASSERT_TRUE(MakeDirectory(log));
    g_plannedBytes = {0x77};
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateNamedLogFile(Wide(log).c_str()));
    EXPECT_EQ(std::vector<std::string>{"cardsetup.log"}, Entries(folder.Path()))
        << "the new file was left beside the folder";
}

TEST(PlainFile, IsNoReparsePointNoFolderAndHasOneName)
{
    struct Case {
        DWORD attributes;
        DWORD links;
        bool plain;
    } cases[] = {
        {FILE_ATTRIBUTE_NORMAL, 1, true},
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, 1, true},
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, 1, false},
        {FILE_ATTRIBUTE_DIRECTORY, 1, false},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 1, false},
        {FILE_ATTRIBUTE_ARCHIVE, 2, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.plain, IsPlainFile(c.attributes, c.links)) << c.attributes << " " << c.links;
}

// Windows opens a link itself with FILE_FLAG_OPEN_REPARSE_POINT and reports the reparse point.
TEST(PlainFile, WindowsOnly_ALinkOpenedAsItselfIsNoPlainFile)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine 8 opens the file a Unix link names, never the link, and reports "
                        "that file: the decision is tested above";
    TempDir folder("link");
    ASSERT_TRUE(WriteTextFile(folder / "target.txt", "target"));
    ASSERT_TRUE(MakeSymbolicLink(folder / "link.txt", folder / "target.txt"));
    HANDLE link = CreateFileA((folder / "link.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, link);
    EXPECT_FALSE(IsPlainFileHandle(link));
    CloseHandle(link);
}

TEST(TrustedOwner, IsAdministratorsSystemOrThisAccount)
{
    struct Case {
        WELL_KNOWN_SID_TYPE sid;
        bool trusted;
    } cases[] = {
        {WinBuiltinAdministratorsSid, true},
        {WinLocalSystemSid, true},
        {WinBuiltinUsersSid, false},
        {WinAuthenticatedUserSid, false},
        {WinWorldSid, false},
    };
    for (const Case& c : cases) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(sid);
        ASSERT_TRUE(CreateWellKnownSid(c.sid, NULL, sid, &size));
        EXPECT_EQ(c.trusted, IsTrustedOwner(sid)) << c.sid;
    }
}

// Where Windows has GetTempPath2W it decides, for SYSTEM too; without it an account's own
// temporary directory serves, but SYSTEM's (C:\Windows\Temp) is open to every user.
TEST_F(LogFile, TheDefaultFolderIsTheOneWindowsOffersOrOneOnlyAdministratorsWrite)
{
    wchar_t chosen[MAX_PATH + 1];
    wchar_t temporary[MAX_PATH + 1];
    wchar_t windows[MAX_PATH + 1];

    for (bool system : {true, false}) {
        ASSERT_TRUE(DefaultLogFolder(system, chosen, MAX_PATH + 1));
        EXPECT_EQ(Wide(folder.Path() + "\\"), chosen) << system;
    }
    g_tempPath2 = NULL;
    ASSERT_TRUE(DefaultLogFolder(false, chosen, MAX_PATH + 1));
    GetTempPathW(MAX_PATH + 1, temporary);
    EXPECT_STREQ(temporary, chosen);

    GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
    std::wstring own = std::wstring(windows) + L"\\Temp\\cardsetup";
    bool existed = GetFileAttributesW(own.c_str()) != INVALID_FILE_ATTRIBUTES;
    ASSERT_TRUE(DefaultLogFolder(true, chosen, MAX_PATH + 1));
    EXPECT_EQ(own + L"\\", chosen);
    EXPECT_NE(0u, GetFileAttributesW(own.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    if (!existed)
        RemoveDirectoryW(own.c_str());
}

// A folder that stands in the protected folder's place is taken only when it is a plain one of
// a trusted owner: never a link that leads elsewhere, never a file.
TEST_F(LogFile, AProtectedFolderIsNeverALinkOrAFile)
{
    std::string place = folder / "protected";
    ASSERT_TRUE(MakeSymbolicLink(place, elsewhere.Path()));
    EXPECT_FALSE(PrepareProtectedFolder(Wide(place).c_str()));
    ASSERT_TRUE(RemoveSymbolicLink(place));
    ASSERT_TRUE(WriteTextFile(place, "a file"));
    EXPECT_FALSE(PrepareProtectedFolder(Wide(place).c_str()));
    ASSERT_TRUE(DeleteFileA(place.c_str()));
    EXPECT_TRUE(PrepareProtectedFolder(Wide(place).c_str()));
    EXPECT_TRUE(PrepareProtectedFolder(Wide(place).c_str())) << "made once, taken again";
    EXPECT_EQ(std::vector<std::string>{"victim.txt"}, Entries(elsewhere.Path()));
}

// Made for SYSTEM and Administrators only, not inheriting what its parent lets users do.
TEST_F(LogFile, WindowsOnly_TheProtectedFolderIsForSystemAndAdministratorsOnly)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine 8 keeps a file's security as Unix permissions and its owner as the "
                        "Unix user: it reads back neither the DACL nor the owner set";
    std::string place = folder / "protected";
    ASSERT_TRUE(PrepareProtectedFolder(Wide(place).c_str()));
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR security = NULL;
    ASSERT_EQ(ERROR_SUCCESS, GetNamedSecurityInfoA(place.c_str(), SE_FILE_OBJECT,
                                                   DACL_SECURITY_INFORMATION, NULL, NULL, &dacl,
                                                   NULL, &security));
    SECURITY_DESCRIPTOR_CONTROL control;
    DWORD revision;
    GetSecurityDescriptorControl(security, &control, &revision);
    EXPECT_NE(0, control & SE_DACL_PROTECTED);
    ASSERT_TRUE(dacl != NULL);
    for (WORD i = 0; i < dacl->AceCount; i++) {
        ACCESS_ALLOWED_ACE* ace;
        ASSERT_TRUE(GetAce(dacl, i, (void**)&ace));
        PSID sid = &ace->SidStart;
        EXPECT_TRUE(IsWellKnownSid(sid, WinLocalSystemSid) ||
                    IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
    }
    LocalFree(security);
}

}  // namespace
