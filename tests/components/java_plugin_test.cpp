// The Java Plug-in step against the test prefix's real registry and files: Java homes are
// temporary trees registered under HKLM\SOFTWARE\JavaSoft, each with a java.exe double that
// records its commands, and COMSPEC names an interpreter double that no command may go through.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "components/java_plugin.h"
#include "deploy/process_start.h"
#include "deploy/run_record.h"
#include "step_fixture.h"
#include "support/prompt_answerer.h"
#include "support/registry_keys.h"
#include "support/test_files.h"

namespace {

const char kJavaSoft[] = "SOFTWARE\\JavaSoft";
const char kRuntimes[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char kKits[] = "SOFTWARE\\JavaSoft\\Java Development Kit";

std::string Command(const std::string& home, const char* argument)
{
    return "\"" + home + "\\bin\\java.exe\" CopyPolicyFile " + argument;
}

struct HomeLayout {
    bool kit = false;
    bool ownPolicy = true;
    bool securityDirectory = true;
    int exitStatus = 0;
};

class JavaPlugin : public ComponentStepTest {
protected:
    void SetUp() override
    {
        ForgetRunRecord();
        ASSERT_TRUE(MakeDirectory(sun));
        ASSERT_TRUE(WriteTextFile(sun + "\\ocf1.2.jar", "ocf library"));
        ASSERT_TRUE(WriteTextFile(sun + "\\opencard.properties", "ocf properties"));
        ASSERT_TRUE(WriteTextFile(sun + "\\java.policy", "installer policy"));
        ASSERT_TRUE(WriteTextFile(sun + "\\ocfpcsc1.dll", "pcsc bridge"));
        ASSERT_TRUE(SetWriteTimeUtc(sun + "\\ocfpcsc1.dll", 2015, 6, 7, 8, 9, 10));
        DeleteFileA(systemLibrary.c_str());
        interpreterLog = homes / "interpreter.txt";
        commandLog = homes / "commands.txt";
        SetEnvironmentVariableA("COMSPEC", (ProgramDirectory() + "\\comspec_double.exe").c_str());
        SetEnvironmentVariableA("CARDSETUP_COMSPEC_LOG", interpreterLog.c_str());
        SetEnvironmentVariableA("CARDSETUP_JAVA_LOG", commandLog.c_str());
    }
    void TearDown() override
    {
        g_startProcess = CreateProcessA;
        DeleteFileA(systemLibrary.c_str());
        SetEnvironmentVariableA("COMSPEC", NULL);
        SetEnvironmentVariableA("CARDSETUP_COMSPEC_LOG", NULL);
        SetEnvironmentVariableA("CARDSETUP_JAVA_LOG", NULL);
        SetEnvironmentVariableA("CLASSPATH", NULL);
    }

    // A Java home with bin\java.exe, lib\ext and lib\security (below jre for a kit).
    std::string MakeHome(const std::string& name, HomeLayout layout = HomeLayout())
    {
        std::string home = homes / name;
        JavaHomeLayout made;
        made.kit = layout.kit;
        made.securityDirectory = layout.securityDirectory;
        made.ownPolicy = layout.ownPolicy ? "own policy of " + name : "";
        EXPECT_TRUE(MakeJavaHome(home, made)) << home;
        EXPECT_TRUE(WriteTextFile(home + "\\bin\\exit-status.txt",
                                  std::to_string(layout.exitStatus)));
        return home;
    }
    void Register(const char* family, const std::string& version, const std::string& home)
    {
        ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, std::string(family) + "\\" + version,
                                      "JavaHome", home));
    }

    // Runs the step from the media directory; it must come back there with nothing left open,
    // and no command may have gone through the command interpreter.
    ComponentStatus Install()
    {
        ComponentStatus status =
            RunFromMedia([&] { return InstallJavaPluginComponents(message, kMessageCapacity); });
        EXPECT_FALSE(FileExists(interpreterLog)) << "a command went through the interpreter";
        return status;
    }
    // Every launcher's calls, in order: "<directory>|<command line>|<its CLASSPATH>".
    std::vector<std::string> Commands() { return ReadLines(commandLog); }
    std::vector<std::string> CommandTexts()
    {
        std::vector<std::string> texts;
        for (const std::string& line : Commands()) {
            size_t first = line.find('|');
            texts.push_back(line.substr(first + 1, line.rfind('|') - first - 1));
        }
        return texts;
    }
    std::vector<std::string> JavaCalls(const std::string& home)
    {
        return ReadLines(home + "\\bin\\calls.txt");
    }

    TempDir homes{"homes"};
    std::string sun = media / "sun";
    std::string systemLibrary = SystemDirectory() + "\\ocfpcsc1.dll";
    std::string interpreterLog;
    std::string commandLog;
    ScopedRegistryTree javaSoft{HKEY_LOCAL_MACHINE, kJavaSoft};
};

// What Windows was asked for at each start, recorded before the start goes ahead: a console
// window flashes up on Windows, though not under Wine, unless CREATE_NO_WINDOW is given.
struct StartRecord {
    DWORD flags;
    bool directoryNamed;
};
std::vector<StartRecord> g_starts;

BOOL WINAPI RecordStart(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES process,
                        LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                        LPCSTR directory, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION information)
{
    g_starts.push_back({flags, directory != NULL});
    return CreateProcessA(application, commandLine, process, thread, inherit, flags, environment,
                          directory, startup, information);
}

std::string Incomplete(int vm, int ol, int op, int jp)
{
    char text[200];
    snprintf(text, sizeof(text),
             "Niepełna instalacja sterowników OCF dla środowiska JRE/JDK; kod operacji: "
             "VM%dOL%dOP%dJP%d",
             vm, ol, op, jp);
    return text;
}

}  // namespace

// ---- What one runtime receives ---------------------------------------------------------------

TEST_F(JavaPlugin, OneRuntimeReceivesEveryFileAndRunsBothCommandsFromSun)
{
    std::string home = MakeHome("jre8");
    Register(kRuntimes, "1.8", home);

    EXPECT_EQ(StatusOk, Install());
    EXPECT_TRUE(MessageUntouched());
    EXPECT_EQ("ocf library", ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar"));
    EXPECT_EQ("ocf properties", ReadTextFile(home + "\\lib\\opencard.properties"));
    EXPECT_EQ("installer policy", ReadTextFile(home + "\\lib\\security\\java.policy"));
    EXPECT_EQ("own policy of jre8", ReadTextFile(home + "\\lib\\security\\java.policy.ocf-bak"));
    EXPECT_EQ("pcsc bridge", ReadTextFile(systemLibrary));
    EXPECT_EQ("pcsc bridge", ReadTextFile(home + "\\lib\\ext\\ocfpcsc1.dll"));

    std::vector<std::string> expected = {Command(home, ".java.policy"),
                                         Command(home, ".opencard.properties")};
    EXPECT_EQ(expected, CommandTexts());

    // What the run placed and backed up, for the installed product's record.
    ASSERT_TRUE(FinishRunRecord("2.4"));
    const ProductRecord* record = RunRecord();
    const struct {
        std::string path;
        const char* mediaFile;
    } placed[] = {{home + "\\lib\\ext\\ocf1.2.jar", "ocf1.2.jar"},
                  {home + "\\lib\\opencard.properties", "opencard.properties"},
                  {home + "\\lib\\security\\java.policy", "java.policy"},
                  {home + "\\lib\\ext\\ocfpcsc1.dll", "ocfpcsc1.dll"},
                  {systemLibrary, "ocfpcsc1.dll"}};
    char digest[kSha256TextSize];
    for (const auto& file : placed) {
        const RecordEntry* entry = FindRecordEntry(record, RecordFile, file.path.c_str());
        ASSERT_NE(nullptr, entry) << file.path;
        ASSERT_TRUE(HashFile((sun + "\\" + file.mediaFile).c_str(), digest, sizeof(digest)));
        EXPECT_STREQ(digest, entry->digest) << file.path;
        EXPECT_STREQ("2.4", entry->version);
    }
    const RecordEntry* backup = FindRecordEntry(
        record, RecordBackup, (home + "\\lib\\security\\java.policy.ocf-bak").c_str());
    ASSERT_NE(nullptr, backup);
    EXPECT_EQ(home + "\\lib\\security\\java.policy", std::string(backup->original));
    EXPECT_EQ(6u, record->count);

    std::vector<std::string> calls = JavaCalls(home);
    ASSERT_EQ(2u, calls.size());
    for (size_t i = 0; i < calls.size(); i++) {
        size_t bar = calls[i].find('|');
        EXPECT_TRUE(SamePath(sun, calls[i].substr(0, bar))) << calls[i];
        EXPECT_NE(std::string::npos, calls[i].find(i == 0 ? "CopyPolicyFile .java.policy"
                                                           : "CopyPolicyFile .opencard.properties"))
            << calls[i];
    }
}

// The launcher gets exactly its two commands, in sun, whatever the home's name holds and
// whatever class path the machine sets: no interpreter stands between them.
TEST_F(JavaPlugin, CommandsReachTheLauncherExactlyWhateverTheHomeIsNamed)
{
    // Windows' names are not case-sensitive: the launcher would read "ClassPath" as CLASSPATH.
    SetEnvironmentVariableA("ClassPath", "C:\\Program Files\\Player\\player.jar");
    g_starts.clear();
    g_startProcess = RecordStart;
    for (const char* name : {"Java Runtime 8", "Java (x64)\\jre8", "R&D\\jre8", "a^b\\jre8",
                             "100%PATH%\\jre8", "Środowisko Javy"}) {
        ScopedRegistryTree fresh(HKEY_LOCAL_MACHINE, kJavaSoft);
        DeleteFileA(commandLog.c_str());
        std::string parent = name;
        if (parent.find('\\') != std::string::npos) {
            ASSERT_TRUE(MakeDirectory(homes / parent.substr(0, parent.find('\\'))));
        }
        std::string home = MakeHome(name);
        Register(kRuntimes, "1.8", home);

        EXPECT_EQ(StatusOk, Install()) << name;
        std::vector<std::string> expected = {Command(home, ".java.policy"),
                                             Command(home, ".opencard.properties")};
        EXPECT_EQ(expected, CommandTexts()) << name;
        for (const std::string& call : Commands()) {
            EXPECT_TRUE(SamePath(sun, call.substr(0, call.find('|')))) << call;
            EXPECT_EQ("|no CLASSPATH", call.substr(call.rfind('|'))) << call;
        }
        EXPECT_EQ("ocf library", ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar")) << name;
    }
    EXPECT_EQ(12u, g_starts.size());
    for (const StartRecord& start : g_starts) {
        EXPECT_EQ((DWORD)(CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT), start.flags);
        EXPECT_FALSE(start.directoryNamed) << "sun is inherited, never named";
    }
}

// The commands start in sun itself: from a folder whose name the ANSI code page cannot hold, its
// ANSI name would lead to a look-alike folder, where they must never start.
TEST_F(JavaPlugin, CommandsStartInSunWhateverLanguageTheMediaFolderIsNamedIn)
{
    Register(kRuntimes, "1.8", MakeHome("jre8"));
    TempDir downloads{"downloads"};
    for (const wchar_t* name : {kNameWithLookAlike, kNameWithoutLookAlike}) {
        std::wstring folder = Wide(downloads.Path()) + L"\\" + name;
        ASSERT_TRUE(name != kNameWithLookAlike || !MakeLookAlikeMedia(folder).empty());
        DeleteFileA(commandLog.c_str());
        MovedTo moved(media.Path(), folder);
        ASSERT_TRUE(moved.Moved());
        {
            ScopedCurrentDirectory inMedia(folder);
            EXPECT_EQ(StatusOk, InstallJavaPluginComponents(message, kMessageCapacity));
        }
        std::vector<std::string> calls = Commands();
        EXPECT_EQ(2u, calls.size()) << Utf8(folder);
        for (const std::string& call : calls)
            EXPECT_EQ(Utf8(folder + L"\\sun"), call.substr(0, call.find('|')));
    }
}

// Where the ANSI code page lacks a letter of a home's name (Windows 7 and 8 keep their own), the
// home is not served: its ANSI name is a look-alike, a folder that anyone may have made.
TEST_F(JavaPlugin, AHomeTheCodePageCannotNameIsNeverTakenForItsLookAlike)
{
    std::wstring home = Wide(homes.Path()) + L"\\" + kNameWithLookAlike;
    std::string lookAlike = LookAlike(home);
    ASSERT_FALSE(lookAlike.empty());
    MakeHome(lookAlike.substr(homes.Path().size() + 1));
    MovedTo named(MakeHome("real"), home);
    ASSERT_TRUE(named.Moved());
    ASSERT_TRUE(SetRegistryWideString(HKEY_LOCAL_MACHINE, std::string(kRuntimes) + "\\1.8",
                                      "JavaHome", home));

    EXPECT_EQ(StatusError, Install());
    EXPECT_STREQ("Nie zainstalowano sterowników OCF dla żadnego środowiska JRE/JDK", message);
    EXPECT_TRUE(JavaCalls(lookAlike).empty()) << "the look-alike's launcher ran";
    EXPECT_FALSE(FileExists(lookAlike + "\\lib\\ext\\ocf1.2.jar"));
}

TEST_F(JavaPlugin, AnExistingBackupIsNeverReplaced)
{
    std::string home = MakeHome("jre8");
    Register(kRuntimes, "1.8", home);
    std::string policy = home + "\\lib\\security\\java.policy";

    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ("own policy of jre8", ReadTextFile(policy + ".ocf-bak"));
    EXPECT_EQ("installer policy", ReadTextFile(policy));
}

TEST_F(JavaPlugin, AHomeWithoutItsOwnPolicyGetsTheInstallersWithoutABackup)
{
    HomeLayout layout;
    layout.ownPolicy = false;
    std::string home = MakeHome("jre8", layout);
    Register(kRuntimes, "1.8", home);

    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ("installer policy", ReadTextFile(home + "\\lib\\security\\java.policy"));
    EXPECT_FALSE(FileExists(home + "\\lib\\security\\java.policy.ocf-bak"));
}

TEST_F(JavaPlugin, APolicyThatCannotBeBackedUpStaysAndCountsAsNotDone)
{
    HomeLayout layout;
    layout.exitStatus = 1;
    std::string home = MakeHome("jre8", layout);
    std::string policy = home + "\\lib\\security\\java.policy";
    ASSERT_TRUE(MakeDirectory(policy + ".ocf-bak"));  // something in the backup's place
    Register(kRuntimes, "1.8", home);

    EXPECT_EQ(StatusWarning, Install());
    EXPECT_EQ(Incomplete(1, 1, 1, 0), message);
    EXPECT_EQ("own policy of jre8", ReadTextFile(policy));
}

// ---- Several homes -----------------------------------------------------------------------------

TEST_F(JavaPlugin, CommandsRunInTheFirstHomeAndTheLastRuntimeGetsTheBridge)
{
    std::string first = MakeHome("jre7");
    std::string last = MakeHome("jre8");
    std::string kit = MakeHome("jdk8", [] { HomeLayout l; l.kit = true; return l; }());
    Register(kRuntimes, "1.7", first);
    Register(kRuntimes, "1.8", last);
    Register(kKits, "1.8", kit);

    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ(2u, Commands().size());
    EXPECT_EQ(2u, JavaCalls(first).size());
    EXPECT_TRUE(JavaCalls(last).empty());
    EXPECT_TRUE(JavaCalls(kit).empty());
    for (const std::string& home : {first, last})
        EXPECT_EQ("installer policy", ReadTextFile(home + "\\lib\\security\\java.policy"));
    EXPECT_EQ("ocf library", ReadTextFile(kit + "\\jre\\lib\\ext\\ocf1.2.jar"));
    EXPECT_EQ("installer policy", ReadTextFile(kit + "\\jre\\lib\\security\\java.policy"));
    EXPECT_EQ("own policy of jdk8", ReadTextFile(kit + "\\jre\\lib\\security\\java.policy.ocf-bak"));
    EXPECT_TRUE(FileExists(last + "\\lib\\ext\\ocfpcsc1.dll"));
    EXPECT_FALSE(FileExists(first + "\\lib\\ext\\ocfpcsc1.dll"));
    EXPECT_FALSE(FileExists(kit + "\\jre\\lib\\ext\\ocfpcsc1.dll"));
}

TEST_F(JavaPlugin, OneHomeUnderTwoVersionsIsServedTwiceAndBackedUpOnce)
{
    std::string home = MakeHome("jre8");
    Register(kRuntimes, "1.8", home);
    Register(kRuntimes, "1.8.0_202", home);
    std::string properties = home + "\\lib\\opencard.properties";
    ASSERT_TRUE(WriteTextFile(properties, "locked"));
    FileHold locked(properties, GENERIC_READ, 0);  // leaves OP behind, so VM shows

    EXPECT_EQ(StatusWarning, Install());
    EXPECT_EQ(Incomplete(2, 2, 0, 4), message);
    EXPECT_EQ(2u, Commands().size());
    EXPECT_EQ("own policy of jre8", ReadTextFile(home + "\\lib\\security\\java.policy.ocf-bak"));
    EXPECT_EQ("installer policy", ReadTextFile(home + "\\lib\\security\\java.policy"));
}

// Only the commands write the user's .java.policy and .opencard.properties: however many
// policies were copied, a step whose commands never both succeeded is incomplete.
TEST_F(JavaPlugin, CommandsThatFailAreRunAgainInTheNextHomeAndAloneAreNeverOk)
{
    HomeLayout failing;
    failing.exitStatus = 3;
    std::string first = MakeHome("jre7", failing);
    Register(kRuntimes, "1.7", first);

    EXPECT_EQ(StatusWarning, Install());
    EXPECT_EQ(Incomplete(1, 1, 1, 1), message);

    std::string second = MakeHome("jre8");
    Register(kRuntimes, "1.8", second);
    DeleteFileA((first + "\\bin\\calls.txt").c_str());
    ResetMessage();
    EXPECT_EQ(StatusOk, Install());
    EXPECT_TRUE(MessageUntouched());
    EXPECT_EQ(2u, JavaCalls(first).size());
    EXPECT_EQ(2u, JavaCalls(second).size());
}

TEST_F(JavaPlugin, WhenCommandsAndPolicyFailTheNextHomeRunsThemAgain)
{
    HomeLayout broken;
    broken.exitStatus = 1;
    broken.securityDirectory = false;  // the policy copy fails without a prompt
    std::string first = MakeHome("jre7", broken);
    std::string second = MakeHome("jre8");
    Register(kRuntimes, "1.7", first);
    Register(kRuntimes, "1.8", second);

    EXPECT_EQ(StatusOk, Install());  // JP 0 + 3 covers VM 2
    EXPECT_EQ(2u, JavaCalls(first).size());
    EXPECT_EQ(2u, JavaCalls(second).size());
    EXPECT_EQ(4u, Commands().size());
}

TEST_F(JavaPlugin, CountersShowTheIncompleteHomeAndHideTheLibraryFailure)
{
    std::string first = MakeHome("jre7");
    std::string second = MakeHome("jre8");
    Register(kRuntimes, "1.7", first);
    Register(kRuntimes, "1.8", second);
    ASSERT_TRUE(WriteTextFile(second + "\\lib\\opencard.properties", "locked"));
    ASSERT_TRUE(WriteTextFile(systemLibrary, "locked"));
    FileHold properties(second + "\\lib\\opencard.properties", GENERIC_READ, 0);
    FileHold library(systemLibrary, GENERIC_READ, 0);
    ASSERT_TRUE(properties.Held() && library.Held());

    EXPECT_EQ(StatusWarning, Install());
    EXPECT_EQ(Incomplete(2, 2, 1, 4), message);
    std::string text = message;
    EXPECT_EQ("VM2OL2OP1JP4", text.substr(text.size() - 12));
}

TEST_F(JavaPlugin, AFailedSystemLibraryCopyIsAnErrorWhenEveryHomeIsComplete)
{
    Register(kRuntimes, "1.8", MakeHome("jre8"));
    ASSERT_TRUE(WriteTextFile(systemLibrary, "locked"));
    FileHold library(systemLibrary, GENERIC_READ, 0);

    EXPECT_EQ(StatusError, Install());
    EXPECT_STREQ("Błąd kopiowania biblioteki obsługi czytników PC/SC: ocfpcsc1.dll", message);
}

TEST_F(JavaPlugin, AnIdenticalLibraryInUseCountsAsCopiedWithoutAPrompt)
{
    Register(kRuntimes, "1.8", MakeHome("jre8"));
    ASSERT_TRUE(CopyFileA((sun + "\\ocfpcsc1.dll").c_str(), systemLibrary.c_str(), FALSE));
    FileHold inUse(systemLibrary, GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user;

    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ(0u, user.Count());
}

// ---- Only kits, odd registrations, no Java --------------------------------------------------

TEST_F(JavaPlugin, AKitAloneIsServedBelowItsJreAndGetsNoBridgeOfItsOwn)
{
    HomeLayout layout;
    layout.kit = true;
    std::string kit = MakeHome("jdk8", layout);
    Register(kKits, "1.8", kit);
    ASSERT_TRUE(MakeDirectory(sun + "\\lib"));  // where a bridge without a home would land
    ASSERT_TRUE(MakeDirectory(sun + "\\lib\\ext"));

    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ("ocf library", ReadTextFile(kit + "\\jre\\lib\\ext\\ocf1.2.jar"));
    EXPECT_EQ("ocf properties", ReadTextFile(kit + "\\jre\\lib\\opencard.properties"));
    EXPECT_EQ("installer policy", ReadTextFile(kit + "\\jre\\lib\\security\\java.policy"));
    std::vector<std::string> expected = {Command(kit, ".java.policy"),
                                         Command(kit, ".opencard.properties")};
    EXPECT_EQ(expected, CommandTexts());
    EXPECT_EQ("pcsc bridge", ReadTextFile(systemLibrary));
    EXPECT_FALSE(FileExists(kit + "\\jre\\lib\\ext\\ocfpcsc1.dll"));
    EXPECT_FALSE(FileExists(kit + "\\lib\\ext\\ocfpcsc1.dll"));
    EXPECT_FALSE(FileExists(sun + "\\lib\\ext\\ocfpcsc1.dll"));
}

TEST_F(JavaPlugin, VersionsWithoutAUsableJavaHomeAreSkippedUncounted)
{
    std::string home = MakeHome("jre8");
    std::string tooLong = "C:\\" + std::string(259, 'j');  // 262 characters
    DWORD number = 8;
    StoredValue cases[] = {
        {"no value", REG_NONE, NULL, 0},
        {"a number", REG_DWORD, &number, sizeof(number)},
        {"binary path bytes", REG_BINARY, home.c_str(), (DWORD)home.size() + 1},
        {"an empty string", REG_SZ, "", 1},
        {"a string without any data", REG_SZ, "", 0},
        {"a string too long for the buffer", REG_SZ, tooLong.c_str(), (DWORD)tooLong.size() + 1},
    };
    for (const StoredValue& c : cases) {
        ScopedRegistryTree fresh(HKEY_LOCAL_MACHINE, kJavaSoft);
        ASSERT_TRUE(CreateRegistryKey(HKEY_LOCAL_MACHINE, kKits));
        std::string version = std::string(kRuntimes) + "\\1.8";
        ASSERT_TRUE(StoreValue(HKEY_LOCAL_MACHINE, version, "JavaHome", c));
        ResetMessage();
        EXPECT_EQ(StatusError, Install()) << c.what;
        EXPECT_STREQ("Nie zainstalowano sterowników OCF dla żadnego środowiska JRE/JDK", message)
            << c.what;
    }
    EXPECT_FALSE(FileExists(home + "\\lib\\ext\\ocf1.2.jar"));
    EXPECT_FALSE(FileExists(sun + "\\lib"));
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ("pcsc bridge", ReadTextFile(systemLibrary));
}

// Whether the platform hands back such a string terminated or not, the home read is exactly the
// stored text: served when terminated, skipped when not, never run on into what follows.
TEST_F(JavaPlugin, AStringStoredWithoutItsTerminatorIsNeverReadPastItsEnd)
{
    std::string home = MakeHome("jre8");
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, std::string(kRuntimes) + "\\1.8",
                                 "JavaHome", REG_SZ, home.c_str(), (DWORD)home.size()));
    ComponentStatus status = Install();
    if (status == StatusOk) {
        EXPECT_EQ("ocf library", ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar"));
    } else {
        EXPECT_EQ(StatusError, status);
        EXPECT_STREQ("Nie zainstalowano sterowników OCF dla żadnego środowiska JRE/JDK", message);
    }
}

TEST_F(JavaPlugin, AnExpandableStringHomeIsUsedAsItIs)
{
    std::string home = MakeHome("jre8");
    ASSERT_TRUE(SetRegistryValue(HKEY_LOCAL_MACHINE, std::string(kRuntimes) + "\\1.8", "JavaHome",
                                 REG_EXPAND_SZ, home.c_str(), (DWORD)home.size() + 1));
    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ("ocf library", ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar"));
}

TEST_F(JavaPlugin, WithoutJavaTheSystemLibraryIsStillCopied)
{
    EXPECT_EQ(StatusWarning, Install());
    EXPECT_STREQ("Nie wykryto instalacji środowiska JRE/JDK lub aplikacja nie była uruchamiona z "
                 "prawami administratora",
                 message);
    EXPECT_EQ("pcsc bridge", ReadTextFile(systemLibrary));

    DeleteFileA(systemLibrary.c_str());
    ASSERT_TRUE(CreateRegistryKey(HKEY_LOCAL_MACHINE, kJavaSoft));  // no family below it
    ResetMessage();
    EXPECT_EQ(StatusWarning, Install());
    EXPECT_STREQ("Nie wykryto instalacji środowiska JRE/JDK lub aplikacja nie była uruchamiona z "
                 "prawami administratora",
                 message);
    EXPECT_EQ("pcsc bridge", ReadTextFile(systemLibrary));
}

TEST_F(JavaPlugin, WithoutSunTheRegistryIsNotReadAndNothingIsCopied)
{
    RemoveTree(sun);
    Register(kRuntimes, "1.8", MakeHome("jre8"));
    EXPECT_EQ(StatusError, Install());
    EXPECT_STREQ("Instalator jest niekompletny", message);
    EXPECT_FALSE(FileExists(systemLibrary));
    EXPECT_TRUE(Commands().empty());
}

TEST_F(JavaPlugin, ANullMessageGetsTheStatusAndNoText)
{
    ScopedCurrentDirectory inMedia(media.Path());
    EXPECT_EQ(StatusWarning, InstallJavaPluginComponents(NULL, kMessageCapacity));
}

// ---- Long homes ------------------------------------------------------------------------------

// A Java home of exactly length characters, made of nested directories below the temporary one.
std::string LongHomeName(const std::string& base, size_t length)
{
    std::string path = base;
    while (path.size() < length) {
        size_t room = length - path.size() - 1;
        size_t segment = room > 100 ? (room == 101 ? 99 : 100) : room;
        path += "\\" + std::string(segment, 'h');
    }
    return path;
}

class LongJavaHome : public JavaPlugin {
protected:
    std::string MakeLongHome(size_t length)
    {
        std::string base = homes / ("long" + std::to_string(length));
        std::string home = LongHomeName(base, length);
        EXPECT_TRUE(MakeDirectory(base));
        for (size_t at = base.size() + 1; (at = home.find('\\', at)) != std::string::npos; at++)
            EXPECT_TRUE(MakeDirectory(home.substr(0, at)));
        HomeLayout layout;
        layout.ownPolicy = home.size() + sizeof("\\lib\\security\\java.policy") <= MAX_PATH;
        EXPECT_EQ(home, MakeHome(home.substr(homes.Path().size() + 1), layout));
        return home;
    }
};

TEST_F(LongJavaHome, ABackupBeyondOldProbeLimitsIsKeptAcrossRuns)
{
    std::string home = MakeLongHome(200);
    ASSERT_EQ(200u, home.size());
    Register(kRuntimes, "1.8", home);
    std::string policy = home + "\\lib\\security\\java.policy";
    std::string ownPolicy = ReadTextFile(policy);

    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ(ownPolicy, ReadTextFile(policy + ".ocf-bak"));
    EXPECT_EQ("installer policy", ReadTextFile(policy));
}

// Thresholds: both commands fit a home of up to 211 characters (one alone leaves the step
// incomplete), the first up to 219, the policy's backup name up to 226; ocf1.2.jar up to 234
// and opencard.properties up to 238, as each is written beside its place under a longer name.
TEST_F(LongJavaHome, WhatDoesNotFitCountsAsNotDone)
{
    struct Case {
        size_t length;
        ComponentStatus status;
        const char* counters;
        size_t commands;
        bool policyReplaced;
        bool libraryCopied;
    } cases[] = {
        {211, StatusOk, "", 2, true, true},
        {212, StatusWarning, "VM1OL1OP1JP2", 1, true, true},
        {230, StatusWarning, "VM1OL1OP1JP0", 0, false, true},
        {236, StatusWarning, "VM1OL0OP1JP0", 0, false, false},
        {240, StatusWarning, "VM1OL0OP0JP0", 0, false, false},
    };
    for (const Case& c : cases) {
        ScopedRegistryTree fresh(HKEY_LOCAL_MACHINE, kJavaSoft);
        DeleteFileA(commandLog.c_str());
        std::string home = MakeLongHome(c.length);
        ASSERT_EQ(c.length, home.size());
        std::string policy = home + "\\lib\\security\\java.policy";
        std::string ownPolicy = ReadTextFile(policy);
        Register(kRuntimes, "1.8", home);
        ResetMessage();

        EXPECT_EQ(c.status, Install()) << c.length;
        std::string text = message;
        if (c.status == StatusWarning) {
            EXPECT_EQ(c.counters, text.substr(text.size() - 12)) << c.length;
        }
        EXPECT_EQ(c.commands, Commands().size()) << c.length;
        EXPECT_EQ(c.commands, JavaCalls(home).size()) << c.length;
        EXPECT_EQ(c.policyReplaced ? "installer policy" : ownPolicy, ReadTextFile(policy))
            << c.length;
        EXPECT_EQ(c.libraryCopied ? "ocf library" : "<missing>",
                  ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar"))
            << c.length;
    }
}

TEST_F(JavaPlugin, UnservableHomesAreCountedOnlyWhenReadable)
{
    struct Case {
        size_t length;
        ComponentStatus status;
        const char* counters;
    } cases[] = {
        {261, StatusWarning, "VM1OL0OP0JP0"},  // readable, but no path or command fits
        {262, StatusError, ""},                // does not fit the buffer: not counted
    };
    for (const Case& c : cases) {
        ScopedRegistryTree fresh(HKEY_LOCAL_MACHINE, kJavaSoft);
        Register(kRuntimes, "1.8", "C:\\" + std::string(c.length - 3, 'j'));
        ResetMessage();
        EXPECT_EQ(c.status, Install()) << c.length;
        std::string text = message;
        if (c.status == StatusWarning) {
            EXPECT_EQ(c.counters, text.substr(text.size() - 12)) << c.length;
        }
    }
    EXPECT_TRUE(Commands().empty());
}

// ---- The user's answers in the copy-conflict prompt ----------------------------------------------

TEST_F(JavaPlugin, AbortAtTheFirstHomesLibraryStopsEverything)
{
    std::string home = MakeHome("jre8");
    std::string kit = MakeHome("jdk8", [] { HomeLayout l; l.kit = true; return l; }());
    Register(kRuntimes, "1.8", home);
    Register(kKits, "1.8", kit);
    std::string library = home + "\\lib\\ext\\ocf1.2.jar";
    ASSERT_TRUE(WriteTextFile(library, "older library"));
    FileHold inUse(library, GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user({IDABORT});

    EXPECT_EQ(StatusAborted, Install());
    EXPECT_STREQ("Przerwa na życzenie użytkownika", message);
    EXPECT_EQ(1u, user.Count());
    EXPECT_FALSE(FileExists(home + "\\lib\\opencard.properties"));
    EXPECT_FALSE(FileExists(kit + "\\jre\\lib\\ext\\ocf1.2.jar"));
    EXPECT_FALSE(FileExists(systemLibrary));
    EXPECT_FALSE(FileExists(home + "\\lib\\ext\\ocfpcsc1.dll"));
    EXPECT_TRUE(Commands().empty());
}

TEST_F(JavaPlugin, IgnoreAndRetryAtTheFirstHomesLibraryCountAsCopied)
{
    std::string home = MakeHome("jre8");
    Register(kRuntimes, "1.8", home);
    std::string library = home + "\\lib\\ext\\ocf1.2.jar";
    ASSERT_TRUE(WriteTextFile(library, "older library"));
    {
        FileHold inUse(library, GENERIC_READ, FILE_SHARE_READ);
        PromptAnswerer user({IDIGNORE});
        EXPECT_EQ(StatusOk, Install());
        EXPECT_EQ(1u, user.Count());
    }
    EXPECT_EQ("older library", ReadTextFile(library));
    {
        FileHold inUse(library, GENERIC_READ, FILE_SHARE_READ);
        PromptAnswerer user([&](const std::string&, size_t) {
            inUse.Release();
            return IDRETRY;
        });
        handlesTheTestCloses = 1;
        EXPECT_EQ(StatusOk, Install());
        EXPECT_EQ(1u, user.Count());
    }
    EXPECT_EQ("ocf library", ReadTextFile(library));
}

TEST_F(JavaPlugin, AbortAtTheSystemLibraryStillServesTheLastRuntime)
{
    std::string home = MakeHome("jre8");
    Register(kRuntimes, "1.8", home);
    ASSERT_TRUE(WriteTextFile(systemLibrary, "older bridge"));
    FileHold inUse(systemLibrary, GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user({IDABORT});

    EXPECT_EQ(StatusAborted, Install());
    EXPECT_STREQ("Przerwa na życzenie użytkownika", message);
    EXPECT_EQ("pcsc bridge", ReadTextFile(home + "\\lib\\ext\\ocfpcsc1.dll"));
}

TEST_F(JavaPlugin, AbortAtTheLastRuntimesBridgeChangesNothing)
{
    std::string home = MakeHome("jre8");
    Register(kRuntimes, "1.8", home);
    std::string bridge = home + "\\lib\\ext\\ocfpcsc1.dll";
    ASSERT_TRUE(WriteTextFile(bridge, "older bridge"));
    FileHold inUse(bridge, GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user({IDABORT});

    EXPECT_EQ(StatusOk, Install());
    EXPECT_TRUE(MessageUntouched());
    EXPECT_EQ(1u, user.Count());
}
