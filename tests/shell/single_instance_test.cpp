// One installer at a time, decided against a double of Windows' private namespaces (Wine 8 has
// none): what stands before the run (a namespace an elevated copy made, the old global name
// taken by another account, no namespaces at all) and which claim each copy then gets. The
// mutexes themselves are real, named for this test alone, so "already there" is the system's.
// Then how a start without administrator rights or without the place ends (Wine runs elevated).
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <string.h>

#include <string>
#include <vector>

#include "shell/elevation.h"
#include "shell/single_instance.h"
#include "support/test_files.h"

namespace {

struct World {
    bool boundaries = true;         // false: as Wine 8, which makes none
    bool spaceMadeBefore = false;   // an elevated copy made the namespace and still runs
    bool spaceOpens = true;
    bool globalNameTaken = false;   // another account made the global name first
    int spacesOpen = 0;
    std::vector<std::string> boundarySids;
    std::vector<std::wstring> mutexNames;
    bool everythingForAdministratorsOnly = true;
};
World g_world;
int g_boundary;

// Whether the security given grants only SYSTEM and Administrators (a NULL one lets everyone in).
bool ForAdministratorsOnly(LPSECURITY_ATTRIBUTES attributes)
{
    BOOL present = FALSE;
    BOOL defaulted;
    PACL dacl = NULL;

    if (attributes == NULL || attributes->lpSecurityDescriptor == NULL ||
        !GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &dacl,
                                   &defaulted) ||
        !present || dacl == NULL || dacl->AceCount == 0)
        return false;
    for (WORD i = 0; i < dacl->AceCount; i++) {
        ACCESS_ALLOWED_ACE* ace;
        if (!GetAce(dacl, i, (void**)&ace))
            return false;
        PSID sid = &ace->SidStart;
        if (!IsWellKnownSid(sid, WinLocalSystemSid) &&
            !IsWellKnownSid(sid, WinBuiltinAdministratorsSid))
            return false;
    }
    return true;
}

HANDLE WINAPI FakeCreateBoundary(LPCWSTR, ULONG)
{
    if (!g_world.boundaries) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return NULL;
    }
    return &g_boundary;
}

BOOL WINAPI FakeAddSid(HANDLE* boundary, PSID sid)
{
    char* text = NULL;
    if (*boundary != &g_boundary || !ConvertSidToStringSidA(sid, &text))
        return FALSE;
    g_world.boundarySids.push_back(text);
    LocalFree(text);
    return TRUE;
}

HANDLE OpenedSpace()
{
    g_world.spacesOpen++;
    return CreateEventW(NULL, TRUE, FALSE, NULL);
}

HANDLE WINAPI FakeCreateNamespace(LPSECURITY_ATTRIBUTES attributes, LPVOID, LPCWSTR)
{
    g_world.everythingForAdministratorsOnly &= ForAdministratorsOnly(attributes);
    if (g_world.spaceMadeBefore || g_world.spacesOpen > 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return NULL;
    }
    return OpenedSpace();
}

HANDLE WINAPI FakeOpenNamespace(LPVOID, LPCWSTR)
{
    if (!g_world.spaceOpens) {
        SetLastError(ERROR_ACCESS_DENIED);
        return NULL;
    }
    return OpenedSpace();
}

BOOLEAN WINAPI FakeCloseNamespace(HANDLE space, ULONG)
{
    g_world.spacesOpen--;
    return CloseHandle(space);
}

VOID WINAPI FakeDeleteBoundary(HANDLE) {}

// A real mutex under a name of this test's own, unless the name is the global one that another
// account took: that is refused, as Windows refuses an object whose security shuts this one out.
HANDLE WINAPI FakeCreateMutex(LPSECURITY_ATTRIBUTES attributes, BOOL owned, LPCWSTR name)
{
    std::wstring own = L"Local\\cardsetup-test-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    g_world.mutexNames.push_back(name);
    g_world.everythingForAdministratorsOnly &= ForAdministratorsOnly(attributes);
    if (g_world.globalNameTaken && std::wstring(name).rfind(L"Global\\", 0) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return NULL;
    }
    for (const wchar_t* letter = name; *letter != L'\0'; letter++)
        own += *letter == L'\\' ? L'-' : *letter;
    return CreateMutexW(NULL, owned, own.c_str());
}

class SingleInstance : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_world = World();
        g_namespaceFunctions = {FakeCreateBoundary, FakeAddSid,        FakeCreateNamespace,
                                FakeOpenNamespace,  FakeCloseNamespace, FakeDeleteBoundary,
                                FakeCreateMutex};
    }
    void TearDown() override
    {
        for (InstanceLock& lock : locks)
            ReleaseSingleInstance(&lock);
        g_namespaceFunctions = real;
    }
    InstanceClaim Claim()
    {
        locks.push_back(InstanceLock());
        return ClaimSingleInstance(&locks.back());
    }

    NamespaceFunctions real = g_namespaceFunctions;
    std::vector<InstanceLock> locks;
};

// The first copy makes the namespace of the Administrators boundary; a second one opens it and
// finds the first one's mutex there. Once the first has ended, a third runs.
TEST_F(SingleInstance, ASecondCopyFindsTheFirstInTheAdministratorsNamespace)
{
    locks.reserve(3);
    EXPECT_EQ(InstanceClaimed, Claim());
    EXPECT_EQ(InstanceRunning, Claim());
    ReleaseSingleInstance(&locks[1]);
    ReleaseSingleInstance(&locks[0]);
    EXPECT_EQ(0, g_world.spacesOpen) << "a namespace was left open";
    EXPECT_EQ(InstanceClaimed, Claim());

    for (const std::string& sid : g_world.boundarySids)
        EXPECT_EQ("S-1-5-32-544", sid) << "the boundary is not the Administrators group";
    EXPECT_EQ(3u, g_world.boundarySids.size());
    for (const std::wstring& name : g_world.mutexNames)
        EXPECT_EQ(L"cardsetup\\installer", name) << "the mutex is not in the namespace";
    EXPECT_TRUE(g_world.everythingForAdministratorsOnly);
}

// Any account may create a global name first. That neither blocks the installer nor lets a
// second copy run beside the first, as the name in the namespace decides.
TEST_F(SingleInstance, AGlobalNameAnotherAccountTookNeitherBlocksNorLetsTwoRun)
{
    g_world.globalNameTaken = true;
    EXPECT_EQ(InstanceClaimed, Claim());
    EXPECT_EQ(InstanceRunning, Claim());
}

// An elevated copy made the namespace; what shuts this copy out of it is never "not running".
TEST_F(SingleInstance, ANamespaceThatCannotBeOpenedRunsNothing)
{
    g_world.spaceMadeBefore = true;
    EXPECT_EQ(InstanceClaimed, Claim()) << "the namespace of an elevated copy is opened";
    g_world.spaceOpens = false;
    EXPECT_EQ(InstanceUnavailable, Claim());
}

// Where Windows makes no namespaces (Wine 8), the global name stands in, for administrators
// only; a global name that another account took means no run, never a second one at once.
TEST_F(SingleInstance, WithoutNamespacesAGlobalNameTakenByAnotherAccountRunsNothing)
{
    g_world.boundaries = false;
    EXPECT_EQ(InstanceClaimed, Claim());
    EXPECT_EQ(InstanceRunning, Claim());
    for (const std::wstring& name : g_world.mutexNames)
        EXPECT_EQ(L"Global\\cardsetup-installer", name);
    EXPECT_TRUE(g_world.everythingForAdministratorsOnly);
    for (InstanceLock& lock : locks)
        ReleaseSingleInstance(&lock);

    g_world.globalNameTaken = true;
    EXPECT_EQ(InstanceUnavailable, Claim());
}

bool g_rights;
bool Rights()
{
    return g_rights;
}

// Without administrator rights (UAC off, RunAsInvoker) the namespace cannot be made: the claim
// is not tried at all, so that refusal is never taken for another copy at work.
TEST_F(SingleInstance, WithoutAdministratorRightsNothingIsClaimed)
{
    bool (*real)() = g_hasAdministratorRights;
    bool rights = true;
    g_hasAdministratorRights = Rights;
    locks.resize(2);

    g_rights = false;
    EXPECT_EQ(InstanceUnavailable, ClaimTheRun(&locks[0], &rights));
    EXPECT_FALSE(rights);
    EXPECT_TRUE(g_world.boundarySids.empty() && g_world.mutexNames.empty()) << "claimed anyway";
    EXPECT_TRUE(locks[0].space == NULL && locks[0].mutex == NULL);

    g_rights = true;
    EXPECT_EQ(InstanceClaimed, ClaimTheRun(&locks[1], &rights));
    EXPECT_TRUE(rights);
    g_hasAdministratorRights = real;
}

// Every Wine process runs elevated, as an elevated administrator does on Windows.
TEST(AdministratorRights, AnElevatedProcessHasThem)
{
    if (!RunningUnderWine() && !IsUserAnAdmin())
        GTEST_SKIP() << "these tests were started on Windows without administrator rights";
    EXPECT_TRUE(HasAdministratorRights());
}

// A start that does not run: rights, claim, quiet or not, and whether the running copy's
// window came to the front, against the exit code and the box it shows. 1618 means "try
// later" to deployment tools: only a copy that really runs gives it.
TEST(StartRefusal, EachStartThatDoesNotRunEndsAsDeploymentToolsAndUsersNeed)
{
    struct Row {
        bool rights;
        InstanceClaim claim;
        bool quiet;
        bool windowShown;
        bool refused;
        int exitCode;
        const char* box;  // a part of the box's text, or NULL for no box
    };
    const char* const noRights = "wymaga uprawnień administratora";
    const char* const running = "już działa (być może w innej sesji";
    const char* const unknown = "Nie można sprawdzić, czy instalator już działa";
    const Row rows[] = {
        {true, InstanceClaimed, true, false, false, 0, NULL},
        {true, InstanceClaimed, false, false, false, 0, NULL},
        {false, InstanceUnavailable, true, false, true, 1603, NULL},
        {false, InstanceUnavailable, false, false, true, 0, noRights},
        {false, InstanceClaimed, true, false, true, 1603, NULL},
        {false, InstanceRunning, false, true, true, 0, noRights},
        {true, InstanceRunning, true, false, true, 1618, NULL},
        {true, InstanceRunning, false, true, true, 0, NULL},
        {true, InstanceRunning, false, false, true, 0, running},
        {true, InstanceUnavailable, true, false, true, 1603, NULL},
        {true, InstanceUnavailable, false, false, true, 0, unknown},
    };
    for (const Row& row : rows) {
        StartRefusal refusal = {-1, NULL, NULL, 0};
        SCOPED_TRACE(testing::Message() << "rights " << row.rights << ", claim " << row.claim
                                        << ", quiet " << row.quiet << ", window shown "
                                        << row.windowShown);
        ASSERT_EQ(row.refused, RefuseStart(row.rights, row.claim, row.quiet, row.windowShown,
                                           &refusal));
        if (!row.refused)
            continue;
        EXPECT_EQ(row.exitCode, refusal.exitCode);
        EXPECT_TRUE(refusal.logLine != NULL && refusal.logLine[0] != '\0');
        if (row.box == NULL)
            EXPECT_TRUE(refusal.message == NULL) << refusal.message;
        else
            EXPECT_TRUE(refusal.message != NULL && strstr(refusal.message, row.box) != NULL)
                << (refusal.message != NULL ? refusal.message : "no box");
    }
}

TEST(SingleInstanceOnWindows, WindowsOnly_TheAdministratorsNamespaceKeepsOneCopy)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine 8 makes no boundary descriptors (CreateBoundaryDescriptorW fails, "
                        "AddSIDToBoundaryDescriptor is missing): the decision is tested above";
    InstanceLock first;
    InstanceLock second;
    ASSERT_EQ(InstanceClaimed, ClaimSingleInstance(&first));
    EXPECT_NE(nullptr, first.space) << "no private namespace";
    EXPECT_EQ(InstanceRunning, ClaimSingleInstance(&second));
    ReleaseSingleInstance(&second);
    ReleaseSingleInstance(&first);
}

}  // namespace
