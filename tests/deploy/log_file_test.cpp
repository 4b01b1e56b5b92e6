// Where the log is made and how: a default name that something already holds (a file in use, a
// folder, a link) is never written through, the log asked for replaces what its name held
// without following it, in a folder no other account controls or else in the default place with
// a line on why, and the default folder is the one Windows offers each account.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "deploy/log_file.h"
#include "deploy/run_log.h"
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

// A folder's security as the test plans it, in SDDL, for the folders whose final path ends as
// g_plannedFor does (all when it is empty); the others' as Windows reads it.
std::wstring g_plannedSecurity;
std::wstring g_plannedFor;

DWORD PlannedSecurity(HANDLE folder, PSECURITY_DESCRIPTOR* security)
{
    wchar_t path[MAX_PATH + 1];
    DWORD length = GetFinalPathNameByHandleW(folder, path, MAX_PATH + 1, 0);
    std::wstring found(path, length <= MAX_PATH ? length : 0);
    bool planned = found.size() >= g_plannedFor.size() &&
                   _wcsicmp(found.c_str() + found.size() - g_plannedFor.size(),
                            g_plannedFor.c_str()) == 0;
    if (!planned)
        return GetSecurityInfo(folder, SE_FILE_OBJECT,
                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, NULL, NULL,
                               NULL, NULL, security);
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(
               g_plannedSecurity.c_str(), SDDL_REVISION_1, security, NULL)
               ? ERROR_SUCCESS
               : GetLastError();
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
        g_folderSecurity = savedSecurity;
        g_plannedBytes.clear();
        g_plannedFor.clear();
    }

    TempDir folder{"log-folder"};
    TempDir elsewhere{"elsewhere"};
    std::string victim = elsewhere / "victim.txt";
    std::string missing = elsewhere / "made-through-a-link.txt";
    TempPathFunction savedTempPath = g_tempPath2;
    RandomFunction savedRandom = g_randomBytes;
    FolderSecurityFunction savedSecurity = g_folderSecurity;
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

// The owner and DACL of the log's folder decide, for an elevated run, whether another account
// could prepare what the log's name leads to: only an ACE that applies to the folder itself and
// gives a right to write into it, delete in it or take it over counts.
TEST(FolderSecurity, OnlyTrustedAccountsMayOwnOrWriteIntoTheLogsFolder)
{
    const std::wstring installer = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size;
    HANDLE token;
    LPWSTR ownText = NULL;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof(user), &size));
    CloseHandle(token);
    ASSERT_TRUE(ConvertSidToStringSidW(((TOKEN_USER*)user)->User.Sid, &ownText));
    const std::wstring own = ownText;
    LocalFree(ownText);
    struct Case {
        std::wstring sddl;
        LogRefusal verdict;
    } cases[] = {
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", LogMade},
        {L"O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;;0x1200a9;;;WD)", LogMade},
        {L"O:" + installer + L"D:(A;;FA;;;" + installer + L")(A;;0x1301bf;;;SY)", LogMade},
        {L"O:" + own + L"D:(A;OICI;FA;;;" + own + L")", LogMade},
        {L"O:BAD:(A;;FA;;;BA)(A;;FA;;;CO)(A;;FA;;;OW)", LogMade},
        {L"O:BAD:(A;;FA;;;BA)(A;OICIIO;FA;;;BU)", LogMade},
        {L"O:BAD:(D;;FA;;;BU)(A;;FA;;;BA)", LogMade},
        {L"O:BAD:(A;;FA;;;BA)(A;;0x10000;;;BU)", LogMade},
        {L"O:BUD:(A;;FA;;;SY)", LogFolderOwnerUntrusted},
        {L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;SY)", LogFolderOwnerUntrusted},
        // C:\Windows\Temp: users may add files and folders to it.
        {L"O:SYD:(A;OICIIO;FA;;;CO)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;CI;0x100026;;;BU)",
         LogFolderOpenToOthers},
        {L"O:BAD:(A;;FA;;;BA)(A;;0x2;;;BU)", LogFolderOpenToOthers},
        {L"O:BAD:(A;;FA;;;BA)(A;;0x4;;;AU)", LogFolderOpenToOthers},
        {L"O:BAD:(A;;FA;;;BA)(A;;0x40;;;WD)", LogFolderOpenToOthers},
        {L"O:BAD:(A;;FA;;;BA)(A;;WD;;;BU)", LogFolderOpenToOthers},
        {L"O:BAD:(A;;FA;;;BA)(A;;WO;;;BU)", LogFolderOpenToOthers},
        {L"O:BAD:(A;;FA;;;BA)(A;CI;GW;;;BU)", LogFolderOpenToOthers},
        {L"O:BAD:(A;;FA;;;BA)(A;;GA;;;S-1-5-21-1-2-3-1001)", LogFolderOpenToOthers},
    };
    for (const Case& c : cases) {
        PSECURITY_DESCRIPTOR security = NULL;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            c.sddl.c_str(), SDDL_REVISION_1, &security, NULL))
            << Cp1250(c.sddl);
        EXPECT_EQ(c.verdict, JudgeFolderSecurity(security)) << Cp1250(c.sddl);
        LocalFree(security);
    }
    // No DACL, or a null one (SDDL's NO_ACCESS_CONTROL, which Wine reads as an empty DACL), lets
    // everyone in.
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    size = sizeof(administrators);
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, administrators, &size));
    for (BOOL present : {FALSE, TRUE}) {
        SECURITY_DESCRIPTOR security;
        ASSERT_TRUE(InitializeSecurityDescriptor(&security, SECURITY_DESCRIPTOR_REVISION));
        ASSERT_TRUE(SetSecurityDescriptorOwner(&security, administrators, FALSE));
        ASSERT_TRUE(SetSecurityDescriptorDacl(&security, present, NULL, FALSE));
        EXPECT_EQ(LogFolderOpenToOthers, JudgeFolderSecurity(&security)) << present;
    }
}

// A folder of the /log path that is a link, at its end or on the way, is not followed: nothing
// is made where it leads, and the run's log is the default log, which says where it was asked
// for and why. Wine 8 shows a Unix link to a folder as a reparse point in its folder's listing.
TEST_F(LogFile, ALinkedFolderOnTheLogsPathSendsTheLogToTheDefaultPlace)
{
    ASSERT_TRUE(MakeSymbolicLink(folder / "linked", elsewhere.Path()));
    for (std::string asked : {folder / "linked\\cardsetup.log",
                              folder / "linked\\deeper\\cardsetup.log"}) {
        ASSERT_TRUE(MakeDirectory(elsewhere / "deeper"));
        LogRefusal refusal = LogMade;
        g_plannedBytes = {0x12};
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateNamedLogFile(Wide(asked).c_str(), &refusal));
        EXPECT_EQ(LogFolderIsLink, refusal) << asked;
        EXPECT_FALSE(FileExists(elsewhere / "cardsetup.log")) << asked;
        EXPECT_FALSE(FileExists(elsewhere / "deeper\\cardsetup.log")) << asked;
        ASSERT_TRUE(RemoveDirectoryA((elsewhere / "deeper").c_str()));
    }
    EXPECT_EQ(std::vector<std::string>{"victim.txt"}, Entries(elsewhere.Path()));

    std::string asked = folder / "linked\\cardsetup.log";
    wchar_t fallback[MAX_PATH + 1] = L"";
    g_plannedBytes = {0x34};
    EXPECT_EQ(RunLogInDefaultPlace, OpenRunLog(Wide(asked).c_str(), false, fallback, MAX_PATH + 1));
    CloseRunLog();
    EXPECT_EQ(Wide(folder / NameFor(0x34, ".log")), fallback);
    EXPECT_EQ(u8"\xEF\xBB\xBF", ReadTextFile(folder / NameFor(0x34, ".log")).substr(0, 3));
    EXPECT_NE(std::string::npos,
              ReadTextFile(folder / NameFor(0x34, ".log"))
                  .find(u8" Nie utworzono dziennika w podanym miejscu (" + asked +
                        u8"): folder na tej ścieżce jest łączem lub punktem ponownej analizy; "
                        u8"zapisano tutaj\r\n"));
    EXPECT_EQ(std::vector<std::string>{"victim.txt"}, Entries(elsewhere.Path()));
    ASSERT_TRUE(RemoveSymbolicLink(folder / "linked"));
}

// For an elevated run a folder that another account owns or may write into (a C:\Logs a user
// made, C:\Windows\Temp) is refused as Windows reports its security; nothing in it is touched,
// not even an earlier run's temporary, and the default log says why.
TEST_F(LogFile, AFolderAnotherAccountControlsSendsTheLogToTheDefaultPlace)
{
    TempDir logs("logs");
    std::string asked = logs / "cardsetup.log";
    std::string left = logs / NameFor(0xab, ".tmp");
    ASSERT_TRUE(WriteTextFile(left, "an interrupted run's"));
    g_folderSecurity = PlannedSecurity;
    struct Case {
        const wchar_t* sddl;
        LogRefusal refusal;
        const char* reason;
    } cases[] = {
        {L"O:BUD:(A;OICI;FA;;;BU)(A;OICI;FA;;;SY)", LogFolderOwnerUntrusted,
         u8"właścicielem folderu nie jest administrator"},
        {L"O:SYD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;CI;0x100026;;;BU)", LogFolderOpenToOthers,
         u8"do folderu mogą pisać konta inne niż administratorzy"},
    };
    for (const Case& c : cases) {
        g_plannedSecurity = c.sddl;
        LogRefusal refusal = LogMade;
        g_plannedBytes = {0x56};
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateNamedLogFile(Wide(asked).c_str(), &refusal));
        EXPECT_EQ(c.refusal, refusal);

        wchar_t fallback[MAX_PATH + 1] = L"";
        g_plannedBytes = {0x78};
        g_plannedFor = Wide(logs.Path());
        EXPECT_EQ(RunLogInDefaultPlace,
                  OpenRunLog(Wide(asked).c_str(), false, fallback, MAX_PATH + 1));
        g_plannedFor.clear();
        CloseRunLog();
        std::string written = ReadTextFile(folder / NameFor(0x78, ".log"));
        EXPECT_NE(std::string::npos,
                  written.find(u8"Nie utworzono dziennika w podanym miejscu (" + asked + "): " +
                               c.reason + u8"; zapisano tutaj"))
            << written;
        ASSERT_TRUE(DeleteFileA((folder / NameFor(0x78, ".log")).c_str()));
        EXPECT_EQ(std::vector<std::string>{NameFor(0xab, ".tmp")}, Entries(logs.Path()));
    }
}

// The same folder as Windows itself reports it: made with a DACL that lets users write into it.
TEST_F(LogFile, WindowsOnly_AFolderUsersMayWriteIntoIsRefusedAsWindowsReportsIt)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine 8 keeps a file's security as Unix permissions and its owner as the "
                        "Unix user: it reads back neither the DACL nor the owner set; the decision "
                        "is tested through g_folderSecurity above";
    SECURITY_ATTRIBUTES open = {sizeof(open), NULL, FALSE};
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)", SDDL_REVISION_1,
        &open.lpSecurityDescriptor, NULL));
    std::string logs = folder / "open-to-users";
    bool made = CreateDirectoryA(logs.c_str(), &open) != 0;
    LocalFree(open.lpSecurityDescriptor);
    ASSERT_TRUE(made);
    LogRefusal refusal = LogMade;
    g_plannedBytes = {0x56};
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateNamedLogFile(Wide(logs + "\\cardsetup.log").c_str(), &refusal));
    EXPECT_EQ(LogFolderOpenToOthers, refusal);
    EXPECT_TRUE(Entries(logs).empty());
}

// Temporaries that killed runs left beside the log go; what only looks like one (another name,
// a folder, a link, a run's at work, held open) stays, and names that are taken are passed by.
TEST_F(LogFile, TemporariesThatKilledRunsLeftBesideTheLogAreRemoved)
{
    std::string log = folder / "cardsetup.log";
    ASSERT_TRUE(WriteTextFile(folder / NameFor(0x01, ".tmp"), "left"));
    ASSERT_TRUE(WriteTextFile(folder / NameFor(0x02, ".tmp"), "left"));
    ASSERT_TRUE(WriteTextFile(folder / "cardsetup-0123456789abcdeg.tmp", "another's"));
    ASSERT_TRUE(WriteTextFile(folder / "cardsetup-01.tmp", "another's"));
    ASSERT_TRUE(MakeDirectory(folder / NameFor(0x11, ".tmp")));
    ASSERT_TRUE(MakeSymbolicLink(folder / NameFor(0x22, ".tmp"), victim));
    ASSERT_TRUE(WriteTextFile(folder / NameFor(0x33, ".tmp"), "a run's at work"));
    {
        FileHold atWork(folder / NameFor(0x33, ".tmp"), GENERIC_WRITE, FILE_SHARE_READ);
        g_plannedBytes = {0x11, 0x22, 0x33, 0x44};
        LogRefusal refusal = LogFileNotMade;
        HANDLE file = CreateNamedLogFile(Wide(log).c_str(), &refusal);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        EXPECT_EQ(LogMade, refusal);
        EXPECT_TRUE(WriteAndClose(file, "this run"));
    }
    EXPECT_EQ("this run", ReadTextFile(log));
    EXPECT_FALSE(FileExists(folder / NameFor(0x01, ".tmp")));
    EXPECT_FALSE(FileExists(folder / NameFor(0x02, ".tmp")));
    EXPECT_FALSE(FileExists(folder / NameFor(0x44, ".tmp"))) << "this run's was left";
    EXPECT_EQ("another's", ReadTextFile(folder / "cardsetup-0123456789abcdeg.tmp"));
    EXPECT_EQ("another's", ReadTextFile(folder / "cardsetup-01.tmp"));
    EXPECT_NE(0u, Attributes(folder / NameFor(0x11, ".tmp")) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ("a run's at work", ReadTextFile(folder / NameFor(0x33, ".tmp")));
    EXPECT_EQ("a file of another account", ReadTextFile(victim));
    RemoveSymbolicLink(folder / NameFor(0x22, ".tmp"));
}

// The log is read during the run by tools that do not share deletion, and it is written whole.
TEST_F(LogFile, TheNamedLogCanBeReadDuringTheRunByReadersThatDoNotShareDeletion)
{
    std::string log = folder / "cardsetup.log";
    g_plannedBytes = {0x66};
    HANDLE file = CreateNamedLogFile(Wide(log).c_str());
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    HANDLE reader = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, reader);
    if (reader != INVALID_HANDLE_VALUE)
        CloseHandle(reader);
    EXPECT_TRUE(WriteAndClose(file, "this run"));
    EXPECT_EQ("this run", ReadTextFile(log));
}

// SYSTEM's own folder in the Windows directory's Temp, where another account made it first (a
// link under Wine, a folder of another owner as Windows reports it), gives way to a new folder
// of a random name, and the default log says so.
// What stands at SYSTEM's folder during the test; whatever was there before is put back, even
// when the test stops half-way.
struct StandIn {
    std::string own;
    std::string saved;
    bool existed = false;
    bool linked = false;
    bool made = false;
    ~StandIn()
    {
        if (linked)
            RemoveSymbolicLink(own);
        if (made)
            RemoveDirectoryA(own.c_str());
        if (existed)
            MoveFileA(saved.c_str(), own.c_str());
    }
};

TEST_F(LogFile, SystemsLogFolderThatAnotherAccountMadeGivesWayToANewOne)
{
    wchar_t windows[MAX_PATH + 1];
    GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
    std::string temporary = Cp1250(windows) + "\\Temp";
    StandIn standIn;
    standIn.own = temporary + "\\cardsetup";
    standIn.saved = temporary + "\\cardsetup-saved-" + std::to_string(GetCurrentProcessId());
    standIn.existed = FileExists(standIn.own);
    ASSERT_TRUE(!standIn.existed || MoveFileA(standIn.own.c_str(), standIn.saved.c_str()));
    g_tempPath2 = NULL;
    g_folderSecurity = PlannedSecurity;
    g_plannedSecurity = L"O:BUD:(A;OICI;FA;;;BU)(A;OICI;FA;;;SY)";
    g_plannedFor = L"\\cardsetup";

    for (bool link : {true, false}) {
        if (link)
            standIn.linked = MakeSymbolicLink(standIn.own, elsewhere.Path());
        else
            standIn.made = MakeDirectory(standIn.own);
        ASSERT_TRUE(standIn.linked || standIn.made) << link;
        wchar_t chosen[MAX_PATH + 1] = L"";
        bool movedAside = false;
        g_plannedBytes = {0x9a, 0xbc};
        ASSERT_TRUE(OpenDefaultRunLog(true, chosen, MAX_PATH + 1)) << link;
        CloseRunLog();
        std::string beside = temporary + "\\" + NameFor(0x9a, "");
        EXPECT_EQ(Wide(beside + "\\" + NameFor(0xbc, ".log")), chosen) << link;
        EXPECT_NE(std::string::npos,
                  ReadTextFile(beside + "\\" + NameFor(0xbc, ".log"))
                      .find(u8"Folder Temp\\cardsetup w folderze Windows nie jest chroniony"))
            << link;
        EXPECT_TRUE(DeleteFileW(chosen));
        EXPECT_TRUE(RemoveDirectoryA(beside.c_str()));
        EXPECT_EQ(std::vector<std::string>{"victim.txt"}, Entries(elsewhere.Path()));
        g_plannedBytes = {0x9a};
        EXPECT_TRUE(DefaultLogFolder(true, chosen, MAX_PATH + 1, &movedAside));
        EXPECT_TRUE(movedAside);
        RemoveDirectoryW(chosen);
        if (link) {
            standIn.linked = false;
            ASSERT_TRUE(RemoveSymbolicLink(standIn.own));
        }
    }
}

}  // namespace
