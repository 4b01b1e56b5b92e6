// The Netscape 4.x step against a browser installation laid out in a temporary directory X:
// X\Communicator with its Program\java directories and profiles under X\Users, registered under
// HKCU for the test and unregistered afterwards.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "components/netscape_components.h"
#include "step_fixture.h"
#include "support/prompt_answerer.h"
#include "support/registry_keys.h"
#include "support/test_files.h"

namespace {

const char kNetscape[] = "Software\\Netscape";
const char kMainKey[] = "Software\\Netscape\\Netscape Navigator\\Main";
const char kNotFound[] = "Nie wykryto zainstalownej przeglądarki Netscape 4.x";

class NetscapeComponents : public ComponentStepTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(MakeDirectory(ns));
        ASSERT_TRUE(MakeDirectory(ns + "\\jars"));
        ASSERT_TRUE(MakeDirectory(ns + "\\jars\\opt"));
        ASSERT_TRUE(WriteTextFile(ns + "\\jars\\ocf.jar", "ocf archive"));
        ASSERT_TRUE(WriteTextFile(ns + "\\jars\\opt\\pcsc.jar", "pcsc archive"));
        ASSERT_TRUE(WriteTextFile(ns + "\\ocfpcsc1.dll", "pcsc bridge"));
        ASSERT_TRUE(WriteTextFile(ns + "\\opencard.properties", "ocf properties"));
        for (const char* directory : {"", "\\Program", "\\Program\\java",
                                      "\\Program\\java\\classes", "\\Program\\java\\bin"})
            ASSERT_TRUE(MakeDirectory(install + directory));
        ASSERT_TRUE(MakeDirectory(users));
    }

    void RegisterInstallDirectory(const std::string& directory)
    {
        ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kMainKey, "Install Directory", directory));
    }
    std::string AddProfile(const std::string& name, DWORD extraAttributes = 0)
    {
        std::string profile = users + "\\" + name;
        EXPECT_TRUE(MakeDirectory(profile));
        if (extraAttributes != 0) {
            EXPECT_TRUE(SetFileAttributesA(profile.c_str(), extraAttributes));
        }
        return profile;
    }
    std::string Configuration(const std::string& profile) const
    {
        return profile + "\\.opencard.properties";
    }

    ComponentStatus Install(char* buffer)
    {
        return RunFromMedia([&] { return InstallNetscapeComponents(buffer, kMessageCapacity); });
    }
    ComponentStatus Install() { return Install(message); }
    // The Java directories an install directory without a parent would name relative to ns.
    void MakeRelativeTargets()
    {
        for (const char* root : {"\\", "\\Communicator\\"})
            for (const char* directory : {"Program", "Program\\java", "Program\\java\\classes",
                                          "Program\\java\\bin"})
                EXPECT_TRUE(MakeDirectory(ns + root + directory) ||
                            FileExists(ns + root + directory));
        EXPECT_TRUE(MakeDirectory(ns + "\\Users"));
        EXPECT_TRUE(MakeDirectory(ns + "\\Users\\a"));
    }
    bool NothingCopied()
    {
        for (const std::string& installation : {install, ns, ns + "\\Communicator"})
            if (FileExists(installation + "\\Program\\java\\classes\\ocf.jar") ||
                FileExists(installation + "\\Program\\java\\bin\\ocfpcsc1.dll"))
                return false;
        return !FileExists(ns + "\\Users\\a\\.opencard.properties") &&
               !FileExists(users + "\\a\\.opencard.properties");
    }

    TempDir browser{"netscape"};
    std::string ns = media / "ns";
    std::string install = browser / "Communicator";
    std::string users = browser / "Users";
    ScopedRegistryTree registration{HKEY_CURRENT_USER, kNetscape};
};

std::string Incomplete(int copied, int profiles)
{
    return "Niepełna kopia pliku opencard.properties dla profilów użytkowników przeglądarki "
           "Netscape; kod operacji: OP" +
           std::to_string(copied) + "PF" + std::to_string(profiles);
}

}  // namespace

// ---- A found browser -------------------------------------------------------------------------

TEST_F(NetscapeComponents, DeploysIntoTheInstallationAndEveryProfile)
{
    std::string a = AddProfile("a");
    std::string b = AddProfile("b");
    RegisterInstallDirectory(install);
    PromptAnswerer user;

    EXPECT_EQ(StatusOk, Install());
    EXPECT_TRUE(MessageUntouched());
    EXPECT_EQ("ocf archive", ReadTextFile(install + "\\Program\\java\\classes\\ocf.jar"));
    EXPECT_EQ("pcsc archive", ReadTextFile(install + "\\Program\\java\\classes\\opt\\pcsc.jar"));
    EXPECT_EQ("pcsc bridge", ReadTextFile(install + "\\Program\\java\\bin\\ocfpcsc1.dll"));
    EXPECT_EQ("ocf properties", ReadTextFile(Configuration(a)));
    EXPECT_EQ("ocf properties", ReadTextFile(Configuration(b)));
    EXPECT_EQ(0u, user.Count());
}

TEST_F(NetscapeComponents, ATrailingBackslashIsPassedOverBeforeTheProfilesAreSought)
{
    std::string a = AddProfile("a");
    RegisterInstallDirectory(install + "\\");
    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ("ocf properties", ReadTextFile(Configuration(a)));
    EXPECT_EQ("pcsc bridge", ReadTextFile(install + "\\Program\\java\\bin\\ocfpcsc1.dll"));
}

// A directory with any attribute besides the directory bit is passed over like a file. Wine
// keeps only some attributes on directories; those it reports as a plain directory are left out.
TEST_F(NetscapeComponents, OnlyPlainDirectoriesAreProfiles)
{
    std::string plain = AddProfile("plain");
    ASSERT_TRUE(WriteTextFile(users + "\\notes.txt", "not a profile"));
    std::vector<std::string> marked;
    for (DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_SYSTEM,
                            FILE_ATTRIBUTE_READONLY}) {
        std::string profile = AddProfile("marked" + std::to_string(attribute), attribute);
        if (Attributes(profile) != FILE_ATTRIBUTE_DIRECTORY)
            marked.push_back(profile);
    }
    if (marked.empty())
        GTEST_SKIP() << "this file system keeps no attributes on directories for Wine to report";
    RegisterInstallDirectory(install);

    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ("ocf properties", ReadTextFile(Configuration(plain)));
    for (const std::string& profile : marked) {
        EXPECT_FALSE(FileExists(Configuration(profile))) << profile;
        SetFileAttributesA(profile.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_FALSE(FileExists(users + "\\notes.txt\\.opencard.properties"));
}

TEST_F(NetscapeComponents, ProfilesThatFailAreCountedInTheWarning)
{
    struct Case {
        int profiles;
        int failing;
        ComponentStatus status;
    } cases[] = {{3, 1, StatusWarning}, {2, 2, StatusWarning}};
    for (const Case& c : cases) {
        RemoveTree(users);
        ASSERT_TRUE(MakeDirectory(users));
        RegisterInstallDirectory(install);
        std::vector<std::unique_ptr<FileHold>> holds;
        for (int i = 0; i < c.profiles; i++) {
            std::string profile = AddProfile("p" + std::to_string(i));
            if (i < c.failing) {
                ASSERT_TRUE(WriteTextFile(Configuration(profile), "in use"));
                holds.push_back(std::make_unique<FileHold>(Configuration(profile), GENERIC_READ, 0));
            }
        }
        ResetMessage();
        EXPECT_EQ(c.status, Install()) << c.profiles;
        EXPECT_EQ(Incomplete(c.profiles - c.failing, c.profiles), message);
    }
}

TEST_F(NetscapeComponents, WithoutUsersTheFilesAreCopiedButNoProfileIsServed)
{
    RemoveTree(users);
    RegisterInstallDirectory(install);
    EXPECT_EQ(StatusError, Install());
    EXPECT_STREQ("Nie skopiowano pliku opencard.properties do żadnego z profilów użytkowników "
                 "przeglądarki Netscape",
                 message);
    EXPECT_EQ("ocf archive", ReadTextFile(install + "\\Program\\java\\classes\\ocf.jar"));
    EXPECT_EQ("pcsc bridge", ReadTextFile(install + "\\Program\\java\\bin\\ocfpcsc1.dll"));
}

TEST_F(NetscapeComponents, MissingJavaDirectoriesInTheInstallationAreCopyErrors)
{
    AddProfile("a");
    RegisterInstallDirectory(install);
    RemoveTree(install + "\\Program\\java\\bin");
    EXPECT_EQ(StatusError, Install());
    EXPECT_STREQ("Błąd kopiowania pliku: kod #1, plik: `ocfpcsc1.dll'", message);
    EXPECT_FALSE(FileExists(Configuration(users + "\\a"))) << "profiles were visited";

    RemoveTree(install + "\\Program\\java\\classes");
    RemoveTree(ns + "\\jars\\opt");  // leaves files only, so the first failure is a file's
    ResetMessage();
    EXPECT_EQ(StatusError, Install());
    std::string text = message;
    EXPECT_EQ(0u, text.find("Błąd kopiowania pliku: kod #1, plik: `jars\\")) << text;
}

// ---- No usable browser -------------------------------------------------------------------------

TEST_F(NetscapeComponents, AnUnusableRegistrationCountsAsNoBrowser)
{
    DWORD number = 4;
    std::string tooLong = "C:\\" + std::string(300, 'n');
    StoredValue cases[] = {
        {"a key without the value", REG_NONE, NULL, 0},
        {"a number", REG_DWORD, &number, sizeof(number)},
        {"binary path bytes", REG_BINARY, install.c_str(), (DWORD)install.size() + 1},
        {"an empty string", REG_SZ, "", 1},
        {"no backslash", REG_SZ, "Communicator", sizeof("Communicator")},
        {"a drive root", REG_SZ, "C:\\", sizeof("C:\\")},
        {"a string too long for the buffer", REG_SZ, tooLong.c_str(), (DWORD)tooLong.size() + 1},
    };
    AddProfile("a");
    ASSERT_TRUE(MakeDirectory(ns + "\\Communicator"));
    MakeRelativeTargets();
    EXPECT_EQ(StatusWarning, Install()) << "no key";
    EXPECT_STREQ(kNotFound, message);
    for (const StoredValue& c : cases) {
        DeleteRegistryTree(HKEY_CURRENT_USER, kNetscape);
        ASSERT_TRUE(StoreValue(HKEY_CURRENT_USER, kMainKey, "Install Directory", c));
        ResetMessage();
        EXPECT_EQ(StatusWarning, Install()) << c.what;
        EXPECT_STREQ(kNotFound, message) << c.what;
    }
    EXPECT_TRUE(NothingCopied());
}

TEST_F(NetscapeComponents, WithoutNsTheMediaIsIncompleteEvenWithABrowser)
{
    RemoveTree(ns);
    AddProfile("a");
    RegisterInstallDirectory(install);
    EXPECT_EQ(StatusError, Install());
    EXPECT_STREQ("Instalator jest niekompletny", message);
    EXPECT_FALSE(FileExists(install + "\\Program\\java\\bin\\ocfpcsc1.dll"));
    EXPECT_EQ(StatusError, Install(NULL));
}

TEST_F(NetscapeComponents, AnInstallDirectoryTooLongForItsPathsIsAnErrorNotAnOverrun)
{
    std::string longInstall = "C:\\" + std::string(250, 'n');
    RegisterInstallDirectory(longInstall);
    EXPECT_EQ(StatusError, Install());
    EXPECT_EQ("Błąd kopiowania pliku: kod #3, plik: `" + longInstall + "'", std::string(message));
}

// ---- The user's answers in the copy-conflict prompt ----------------------------------------------

TEST_F(NetscapeComponents, AbortAtALaterProfileEndsTheListing)
{
    for (const char* name : {"a", "b", "c"}) {
        std::string profile = AddProfile(name);
        ASSERT_TRUE(WriteTextFile(Configuration(profile), "older"));
    }
    FileHold a(Configuration(users + "\\a"), GENERIC_READ, FILE_SHARE_READ);
    FileHold b(Configuration(users + "\\b"), GENERIC_READ, FILE_SHARE_READ);
    FileHold c(Configuration(users + "\\c"), GENERIC_READ, FILE_SHARE_READ);
    RegisterInstallDirectory(install);
    PromptAnswerer user({IDIGNORE, IDABORT});

    EXPECT_EQ(StatusAborted, Install());
    EXPECT_STREQ("Przerwa na życzenie użytkownika", message);
    EXPECT_EQ(2u, user.Count()) << "a profile after the abort was visited";
}

TEST_F(NetscapeComponents, IgnoreAndRetryAtAProfileCountItAsServed)
{
    std::string a = AddProfile("a");
    std::string b = AddProfile("b");
    ASSERT_TRUE(WriteTextFile(Configuration(a), "older"));
    ASSERT_TRUE(WriteTextFile(Configuration(b), "older"));
    FileHold holdA(Configuration(a), GENERIC_READ, FILE_SHARE_READ);
    FileHold holdB(Configuration(b), GENERIC_READ, FILE_SHARE_READ);
    RegisterInstallDirectory(install);
    PromptAnswerer user([&](const std::string& text, size_t) {
        if (text.find(Configuration(a)) != std::string::npos)
            return IDIGNORE;
        holdB.Release();
        return IDRETRY;
    });
    handlesTheTestCloses = 1;

    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ(2u, user.Count());
    EXPECT_EQ("older", ReadTextFile(Configuration(a)));
    EXPECT_EQ("ocf properties", ReadTextFile(Configuration(b)));
}
