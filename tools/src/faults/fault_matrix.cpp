// One row of the fault matrix, run inside a fresh copy of a prepared Wine prefix: it lays out
// the media, a Java runtime and a Netscape installation, applies the row's bad condition, runs
// the real cardsetup.exe with the defaults, and compares the report and the PC's files with
// what the row expects; with --quiet it runs the installer as deployment tools do and compares
// its exit code. Usage: fault_matrix --list | --row N <media directory to copy> [--quiet]
// Prints one tab-separated line: row, condition, expected, seen, files, PASS or FAIL.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "deploy/file_replace.h"
#include "resource.h"
#include "support/installer_session.h"
#include "support/prompt_answerer.h"
#include "support/registry_keys.h"
#include "support/test_files.h"

namespace {

const char kMedia[] = "C:\\faults\\media";
const char kJavaRoot[] = "C:\\Java";
const char kHome[] = "C:\\Java\\jre8";
const char kNetscapeRoot[] = "C:\\Netscape";
const char kNetscapeInstall[] = "C:\\Netscape\\Communicator";
const char kRuntimes[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char kKits[] = "SOFTWARE\\JavaSoft\\Java Development Kit";
const char kNetscapeKey[] = "Software\\Netscape\\Netscape Navigator\\Main";
// Folders named as a Polish user's or a Russian one's: letters that code page 1252 or 1250 lacks.
const wchar_t kPolishMedia[] = L"C:\\\u0141\u00f3d\u017a";
const wchar_t kCyrillicMedia[] = L"C:\\\u0417\u0430\u0433\u0440\u0443\u0437\u043a\u0438";
const wchar_t kUnicodeHome[] = L"C:\\Java\\\u0141ukasz jre8";
const char kTrapProof[] = "C:\\faults\\look-alike-ran.txt";

// What the dialog should show: each label ("" for no section) and a piece of the report.
struct Expected {
    const char* driver;
    const char* java;
    const char* ie;
    const char* netscape;
    const char* reportPart;
};

// What a row changes and how it runs, in the order the table names them; each hook may be empty.
struct Row {
    const char* condition = "";
    bool fast = false;  // part of the short matrix that tools/test runs
    bool tickIe = false;
    bool tickNetscape = false;
    Expected expected = {"", "", "", "", ""};
    std::function<void()> prepare = {};
    std::vector<int> answers = {};       // buttons for the copy-conflict prompts, in turn
    std::function<void()> onPrompt = {}; // runs before each answer (a hold let go for Retry)
    int runs = 1;
    std::function<std::string()> check = {};  // a further check: "" when it holds
    int codePage = 1250;                 // the ANSI code page of the row's Windows
    const wchar_t* mediaFolder = NULL;   // where the media lie during the runs, when not kMedia
    bool unicodeHome = false;            // the runtime lies in kUnicodeHome during the runs
    const wchar_t* startedIn = NULL;     // the current directory the program is started in,
                                         // by its full path, when not the media
    std::function<void()> beforeLastRun = {};  // between the runs, before the last one
    int quietExit = -1;                  // the quiet run's exit code, when not the labels' own
};

// ---- The PC before the row ---------------------------------------------------------------

std::string SystemFile(const char* name)
{
    return SystemDirectory() + "\\" + name;
}

std::string Profile()
{
    char path[MAX_PATH + 1];
    DWORD length = GetEnvironmentVariableA("USERPROFILE", path, sizeof(path));
    return std::string(path, length < sizeof(path) ? length : 0);
}

void MakeDirectories(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        MakeDirectory(path.substr(0, at));
    MakeDirectory(path);
}

void CopyTreeFrom(const std::string& from, const std::string& to)
{
    MakeDirectories(to);
    ForEachEntry(from, [&](const std::string& name, bool isDirectory) {
        if (isDirectory)
            CopyTreeFrom(from + "\\" + name, to + "\\" + name);
        else
            CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    });
}

// A runtime with its launcher (the bridge to the machine's JDK) and a policy of its own.
void MakeJavaHome(const std::string& home, const std::string& version)
{
    JavaHomeLayout layout;
    layout.launcher = "java_bridge.exe";
    layout.ownPolicy = "the runtime's own policy: " + home;
    MakeDirectories(home.substr(0, home.rfind('\\')));
    ::MakeJavaHome(home, layout);
    SetRegistryString(HKEY_LOCAL_MACHINE, std::string(kRuntimes) + "\\" + version, "JavaHome",
                      home);
}

void MakeNetscape()
{
    MakeDirectories(std::string(kNetscapeInstall) + "\\Program\\java\\classes");
    MakeDirectories(std::string(kNetscapeInstall) + "\\Program\\java\\bin");
    MakeDirectories(std::string(kNetscapeRoot) + "\\Users\\default");
    SetRegistryString(HKEY_CURRENT_USER, kNetscapeKey, "Install Directory", kNetscapeInstall);
}

void LayOutThePc(const std::string& sourceMedia)
{
    CopyTreeFrom(sourceMedia, kMedia);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft");
    DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Netscape");
    MakeJavaHome(kHome, "1.8");
    MakeNetscape();
    MakeDirectory(WindowsDirectory() + "\\java");  // left by Internet Explorer's Java
    SetEnvironmentVariableA("CARDSETUP_SCARD_READERS", "Other Reader 0");
    SetEnvironmentVariableA("CARDSETUP_SCARD_MODE", "");
}

// ---- Nothing lost --------------------------------------------------------------------------

typedef FileContents Snapshot;

// Everything the PC holds where the installer writes.
Snapshot TakeSnapshot()
{
    Snapshot snapshot;
    ReadTree(kJavaRoot, &snapshot);
    ReadTree(kNetscapeRoot, &snapshot);
    ReadTree(WindowsDirectory() + "\\java", &snapshot);
    for (std::string path : {SystemFile("ocf1.2.jar"), SystemFile("ocfpcsc1.dll"),
                             Profile() + "\\.java.policy", Profile() + "\\.opencard.properties"})
        if (FileExists(path))
            snapshot[path] = ReadTextFile(path);
    return snapshot;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A policy may be replaced only with its original kept as its backup (or, changed since an
// earlier run, kept beside it); the installer's own OCF
// files may be replaced; the old library in the system directory is removed by design.
std::string Lost(const Snapshot& before)
{
    std::string lost;
    for (const auto& file : before) {
        const std::string& path = file.first;
        std::string now = FileExists(path) ? ReadTextFile(path) : "<gone>";
        if (now == file.second)
            continue;
        bool policy = EndsWith(path, "\\java.policy") || EndsWith(path, "\\.java.policy");
        bool ocfFile = EndsWith(path, "\\ocf1.2.jar") || EndsWith(path, "opencard.properties") ||
                       EndsWith(path, "\\ocfpcsc1.dll");
        if (policy && (ReadTextFile(path + ".ocf-bak") == file.second ||
                       ReadTextFile(path + ".ocf-edit1") == file.second))
            continue;
        if (ocfFile && now != "<gone>")
            continue;
        if (SamePath(path, SystemFile("ocf1.2.jar")) && now == "<gone>")
            continue;
        lost += (lost.empty() ? "" : ", ") + path;
    }
    return lost;
}

// ---- Running the program -------------------------------------------------------------------

Snapshot g_before;  // what the PC held before the row's runs

int g_prompts = 0;  // copy-conflict prompts shown in the row's runs


struct Seen {
    std::string driver, java, ie, netscape, report, problem;
    DWORD exitCode = 0;
};

std::wstring MediaFolder(const Row& row)
{
    return row.mediaFolder ? std::wstring(row.mediaFolder) : Wide(kMedia);
}

std::wstring StartedIn(const Row& row)
{
    return row.startedIn ? std::wstring(row.startedIn) : MediaFolder(row);
}

Seen RunInstaller(const Row& row)
{
    Seen seen;
    InstallerSession program(MediaFolder(row), L"", StartedIn(row));
    HWND dialog = program.OpenDialog();
    if (dialog == NULL) {
        seen.problem = "no welcome question or no dialog";
        return seen;
    }
    // The run reads the hidden boxes too, so ticking them reaches the steps they stand for.
    SendDlgItemMessageA(dialog, IDC_COMP_IE, BM_SETCHECK, row.tickIe ? BST_CHECKED : 0, 0);
    SendDlgItemMessageA(dialog, IDC_COMP_NETSCAPE, BM_SETCHECK, row.tickNetscape ? BST_CHECKED : 0,
                        0);
    {
        PromptAnswerer user([&](const std::string&, size_t index) {
            g_prompts++;
            if (row.onPrompt)
                row.onPrompt();
            return index < row.answers.size() ? row.answers[index] : IDABORT;
        });
        PressDialogButton(dialog, IDOK);
        if (!WaitUntil(RunHasEnded, dialog, 120000))
            seen.problem = "the run did not end";
    }
    seen.driver = WindowText(GetDlgItem(dialog, IDC_STATUS_DRIVER));
    seen.java = WindowText(GetDlgItem(dialog, IDC_STATUS_JAVA));
    seen.ie = WindowText(GetDlgItem(dialog, IDC_STATUS_IE));
    seen.netscape = WindowText(GetDlgItem(dialog, IDC_STATUS_NETSCAPE));
    seen.report = WindowText(GetDlgItem(dialog, IDC_DETAILS));
    if (program.CloseAfterRun(dialog).exitCode != 0 && seen.problem.empty())
        seen.problem = "exit code not 0";
    return seen;
}

// The row as deployment tools run it: no window, the components it ticks, an exit code.
Seen RunQuietly(const Row& row)
{
    Seen seen;
    std::wstring arguments = L"/quiet /log C:\\faults\\quiet.log";
    if (row.tickIe || row.tickNetscape)
        arguments += std::wstring(L" /components=driver,java") + (row.tickIe ? L",ie" : L"") +
                     (row.tickNetscape ? L",netscape" : L"");
    InstallerSession program(MediaFolder(row), arguments, StartedIn(row));
    for (int i = 0; i < 6000 && program.Running(); i++) {
        if (program.ShowsAWindow())
            seen.problem = "a quiet run showed a window";
        Sleep(20);
    }
    seen.exitCode = program.WaitForExit(1000);
    return seen;
}

std::string Labels(const char* driver, const char* java, const char* ie, const char* netscape)
{
    std::string text = std::string("driver ") + (*driver ? driver : "-") + ", java " +
                       (*java ? java : "-");
    if (*ie)
        text += std::string(", ie ") + ie;
    if (*netscape)
        text += std::string(", netscape ") + netscape;
    return text;
}

// The report's lines as one line of the table.
std::string OneLine(const std::string& text)
{
    std::string line;
    for (char c : text) {
        char shown = c == '\n' ? ' ' : c;
        if (c == '\r' || (shown == ' ' && !line.empty() && line.back() == ' '))
            continue;
        line += shown;
    }
    return line;
}


// ---- The rows --------------------------------------------------------------------------------

std::string Media(const char* relative)
{
    return std::string(kMedia) + "\\" + relative;
}

void RemoveMedia(const char* relative)
{
    std::string path = Media(relative);
    if (Attributes(path) & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
    else
        DeleteFileA(path.c_str());
}

void SetJavaHome(DWORD type, const void* data, DWORD size)
{
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, std::string(kRuntimes) + "\\1.8");
    StoredValue value = {"", type, data, size};
    StoreValue(HKEY_LOCAL_MACHINE, std::string(kRuntimes) + "\\1.8", "JavaHome", value);
}

void SetJavaHomeText(const std::string& home)
{
    SetJavaHome(REG_SZ, home.c_str(), (DWORD)home.size() + 1);
}

void SetInstallDirectory(const std::string& directory)
{
    SetRegistryString(HKEY_CURRENT_USER, kNetscapeKey, "Install Directory", directory);
}

std::string HomeFile(const char* relative)
{
    return std::string(kHome) + "\\" + relative;
}

std::string Expect(bool holds, const std::string& what)
{
    return holds ? "" : what;
}

// Held open by "another program" for the prompt rows; released for Retry.
std::unique_ptr<FileHold> g_hold;

void HoldHomeLibrary()
{
    WriteTextFile(HomeFile("lib\\ext\\ocf1.2.jar"), "an older OCF library");
    g_hold.reset(new FileHold(HomeFile("lib\\ext\\ocf1.2.jar"), GENERIC_READ, FILE_SHARE_READ));
}

// Read-only as Windows keeps it; Wine keeps it as a file without Unix write permission.
void MakeReadOnly(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

void MakeHomeFileReadOnly(const char* relative, const std::string& content)
{
    if (!content.empty())
        WriteTextFile(HomeFile(relative), content);
    MakeReadOnly(HomeFile(relative));
}

// The files a default run copies, the installer itself and CopyPolicyFile into the profile;
// those missing or read-only after it are named.
std::string ReadOnlyCopies()
{
    std::string found;
    for (std::string path :
         {HomeFile("lib\\ext\\ocf1.2.jar"), HomeFile("lib\\ext\\ocfpcsc1.dll"),
          HomeFile("lib\\opencard.properties"), HomeFile("lib\\security\\java.policy"),
          HomeFile("lib\\security\\java.policy.ocf-bak"), SystemFile("ocfpcsc1.dll"),
          Profile() + "\\.java.policy", Profile() + "\\.opencard.properties"})
        if (!FileExists(path) || (Attributes(path) & FILE_ATTRIBUTE_READONLY))
            found += (found.empty() ? "missing or read-only after the run: " : ", ") + path;
    return found;
}

std::string LongHome()
{
    return std::string(kJavaRoot) + "\\" + std::string(70, 'l') + "\\" + std::string(70, 'm') +
           "\\jre";
}

void EmptyTheMedia()
{
    RemoveTree(kMedia);
    MakeDirectory(kMedia);
    CopyFileA((ProgramDirectory() + "\\cardsetup.exe").c_str(), Media("cardsetup.exe").c_str(), FALSE);
}

void RegisterFamiliesOnly()
{
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft");
    CreateRegistryKey(HKEY_LOCAL_MACHINE, kRuntimes);
    CreateRegistryKey(HKEY_LOCAL_MACHINE, kKits);
}

void HoldSystemLibrary()
{
    WriteTextFile(SystemFile("ocf1.2.jar"), "a library from an earlier installation");
    g_hold.reset(new FileHold(SystemFile("ocf1.2.jar"), GENERIC_READ, FILE_SHARE_READ));
}

// As an earlier run left the home: the installer's policy, the original as its backup.
void LeaveAnEarlierRunsBackup()
{
    CopyFileA(Media("sun\\java.policy").c_str(), HomeFile("lib\\security\\java.policy").c_str(),
              FALSE);
    WriteTextFile(HomeFile("lib\\security\\java.policy.ocf-bak"), "the first backup");
}

std::string ManyHome(int i)
{
    return std::string(kJavaRoot) + "\\jre" + std::to_string(100 + i);
}

void MakeMediaReadOnly()
{
    Snapshot media;
    ReadTree(kMedia, &media);
    for (const auto& file : media)
        MakeReadOnly(file.first);
}

// The commands of the Java step are the only writers of the user's policy.
std::string UserPolicyWritten()
{
    return Expect(FileExists(Profile() + "\\.java.policy"), "CopyPolicyFile did not run");
}

// A folder beside the media whose ANSI name is the media's look-alike, holding media of its own
// whose launcher leaves proof and whose sun has no CopyPolicyFile: nothing of it may run.
void PlantLookAlikeMedia()
{
    std::string lookAlike = LookAlike(kPolishMedia);
    CopyTreeFrom(kMedia, lookAlike);
    WriteTextFile(lookAlike + "\\Drivers\\twin64.bat",
                  std::string("@echo ran> ") + kTrapProof + "\r\n");
    DeleteFileA((lookAlike + "\\sun\\CopyPolicyFile.class").c_str());
}

// After the row's install, /uninstall /quiet must leave every file as it was before it, but for
// the old library that the install removed from the system directory.
std::string UninstallLeavesThePcAsBefore()
{
    InstallerSession uninstall(kMedia, "", L"/uninstall /quiet /log C:\\faults\\uninstall.log");
    DWORD exitCode = uninstall.WaitForExit(120000);
    Snapshot after = TakeSnapshot();
    std::string differs;
    g_before.erase(SystemFile("ocf1.2.jar"));
    for (const auto& file : g_before)
        if (after.count(file.first) == 0 || after[file.first] != file.second)
            differs += (differs.empty() ? "" : ", ") + file.first;
    for (const auto& file : after)
        if (g_before.count(file.first) == 0)
            differs += (differs.empty() ? "" : ", ") + file.first + " (added)";
    return Expect(exitCode == 0, "/uninstall ended " + std::to_string(exitCode)) +
           Expect(differs.empty(), "not as before: " + differs);
}

std::string OriginalPolicy()
{
    return "the runtime's own policy: " + std::string(kHome);
}

// A quiet run stopped dead, as a deployment tool's time limit stops it, as soon as the
// runtime's policy has its backup: the policy is then being replaced, or just was.
void KillARunAtThePolicysBackup()
{
    InstallerSession program(kMedia, "", L"/quiet");
    std::string backup = HomeFile("lib\\security\\java.policy.ocf-bak");
    for (int i = 0; i < 120000 && program.Running() && !FileExists(backup); i++)
        Sleep(0);
    TerminateProcess(program.Process(), 1);
    WaitForSingleObject(program.Process(), 10000);
}

// What an interrupted run leaves beside a file goes at the next run.
std::string NoTemporaryFilesLeft()
{
    Snapshot files;
    std::string left;
    ReadTree(kJavaRoot, &files);
    for (const auto& file : files)
        if (IsTemporaryName(file.first.substr(file.first.rfind('\\') + 1).c_str()))
            left += " " + file.first;
    return Expect(left.empty(), "left behind:" + left);
}

// An administrator's grant added to the runtime's policy after an install.
const char kAdministratorsGrant[] = "\ngrant codeBase \"https://bank.example/-\" {};\n";

void EditThePolicyAfterAnInstall()
{
    InstallerSession install(kMedia, "", L"/quiet");
    install.WaitForExit(120000);
    std::string policy = HomeFile("lib\\security\\java.policy");
    WriteTextFile(policy, ReadTextFile(policy) + kAdministratorsGrant);
}

// The edit is kept beside the policy by the install and left there by /uninstall, which puts
// the runtime's own policy back.
std::string TheEditSurvivesTheUninstall()
{
    std::string policy = HomeFile("lib\\security\\java.policy");
    std::string edited = ReadTextFile(Media("sun\\java.policy")) + kAdministratorsGrant;
    std::string kept = Expect(ReadTextFile(policy + ".ocf-edit1") == edited,
                              "the edit was not kept beside the policy");
    InstallerSession uninstall(kMedia, "", L"/uninstall /quiet /log C:\\faults\\uninstall.log");
    DWORD exitCode = uninstall.WaitForExit(120000);
    return kept + Expect(exitCode == 0, "/uninstall ended " + std::to_string(exitCode)) +
           Expect(ReadTextFile(policy) == OriginalPolicy(), "the runtime's policy is not back") +
           Expect(ReadTextFile(policy + ".ocf-edit1") == edited, "/uninstall took the edit");
}

const char kMissing[] = "Instalator jest niekompletny";
const char kOk[] = "OK";
const char kError[] = "BŁĄD";
const char kWarning[] = "UWAGA";
const char kNoJavaServed[] = "Nie zainstalowano sterowników OCF dla żadnego";
const char kNoNetscape[] = "Nie wykryto zainstalownej przeglądarki Netscape";
const char kRemovalFailed[] = "Detekcja/deinstalacja poprzedniego środowiska OCF: BŁĄD";
const char kDriverOk[] = "Instalacja sterownika czytnika kart: OK";

const DWORD kNumber = 8;

// Every row of the matrix, as fields: the condition, whether the short matrix runs it, the
// boxes it ticks, what the dialog must show, how the PC is prepared, the prompts' answers, how
// many runs, and a further check ("" when it holds).
std::vector<Row> Rows()
{
    return {
        // Media
        {.condition = "media: no sun directory", .fast = true,
         .expected = {kOk, kError, "", "", kMissing}, .prepare = [] { RemoveMedia("sun"); }},
        {.condition = "media: no Drivers directory",
         .expected = {kError, kOk, "", "", kMissing}, .prepare = [] { RemoveMedia("Drivers"); }},
        {.condition = "media: no msie directory (IE ticked)", .tickIe = true,
         .expected = {kOk, kOk, kError, "", kMissing}, .prepare = [] { RemoveMedia("msie"); }},
        {.condition = "media: no ns directory (Netscape ticked)", .tickNetscape = true,
         .expected = {kOk, kOk, "", kError, kMissing}, .prepare = [] { RemoveMedia("ns"); }},
        {.condition = "media: no sun\\ocf1.2.jar",
         .expected = {kOk, kWarning, "", "", "VM1OL0OP1JP3"},
         .prepare = [] { RemoveMedia("sun\\ocf1.2.jar"); }},
        {.condition = "media: no sun\\opencard.properties",
         .expected = {kOk, kWarning, "", "", "VM1OL1OP0JP2"},
         .prepare = [] { RemoveMedia("sun\\opencard.properties"); }},
        {.condition = "media: no sun\\java.policy (the other command still runs)",
         .expected = {kOk, kWarning, "", "", "VM1OL1OP1JP1"},
         .prepare = [] { RemoveMedia("sun\\java.policy"); }},
        {.condition = "media: no sun\\ocfpcsc1.dll",
         .expected = {kOk, kError, "", "", "Błąd kopiowania biblioteki obsługi czytników PC/SC"},
         .prepare = [] { RemoveMedia("sun\\ocfpcsc1.dll"); }},
        {.condition = "media: no sun\\CopyPolicyFile.class", .fast = true,
         .expected = {kOk, kWarning, "", "", "VM1OL1OP1JP1"},
         .prepare = [] { RemoveMedia("sun\\CopyPolicyFile.class"); },
         .check = [] {
             return Expect(!FileExists(Profile() + "\\.java.policy"), "a policy reached the home");
         }},
        {.condition = "media: no Drivers\\twin64.bat",
         .expected = {kError, kOk, "", "", "Błąd uruchomienia zewn. sterownika: Drivers\\twin64.bat"},
         .prepare = [] { RemoveMedia("Drivers\\twin64.bat"); }},
        {.condition = "media: no msie\\ocf (IE ticked)", .tickIe = true,
         .expected = {kOk, kOk, kError, "", "kod #2, plik: `'"},
         .prepare = [] { RemoveMedia("msie\\ocf"); }},
        {.condition = "media: no msie\\ocfpcsc1.dll (IE ticked)", .tickIe = true,
         .expected = {kOk, kOk, kError, "", "kod #1, plik: `ocfpcsc1.dll'"},
         .prepare = [] { RemoveMedia("msie\\ocfpcsc1.dll"); }},
        {.condition = "media: no ns\\jars (Netscape ticked)", .tickNetscape = true,
         .expected = {kOk, kOk, "", kError, "kod #2, plik: `'"},
         .prepare = [] { RemoveMedia("ns\\jars"); }},
        {.condition = "media: no ns\\opencard.properties (Netscape ticked)", .tickNetscape = true,
         .expected = {kOk, kOk, "", kWarning, "OP0PF1"},
         .prepare = [] { RemoveMedia("ns\\opencard.properties"); }},
        {.condition = "media: an empty media directory", .fast = true,
         .expected = {kError, kError, "", "", kMissing}, .prepare = EmptyTheMedia},

        // Registry
        {.condition = "registry: no JavaSoft key", .fast = true,
         .expected = {kOk, kWarning, "", "", "Nie wykryto instalacji środowiska JRE/JDK"},
         .prepare = [] { DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft"); },
         .check = [] {
             return Expect(FileExists(SystemFile("ocfpcsc1.dll")), "no bridge in system32");
         }},
        {.condition = "registry: family keys without versions",
         .expected = {kOk, kError, "", "", kNoJavaServed}, .prepare = RegisterFamiliesOnly},
        {.condition = "registry: JavaHome missing",
         .expected = {kOk, kError, "", "", kNoJavaServed},
         .prepare = [] { SetJavaHome(REG_NONE, NULL, 0); }},
        {.condition = "registry: JavaHome empty", .expected = {kOk, kError, "", "", kNoJavaServed},
         .prepare = [] { SetJavaHome(REG_SZ, "", 1); }},
        {.condition = "registry: JavaHome a number (REG_DWORD)",
         .expected = {kOk, kError, "", "", kNoJavaServed},
         .prepare = [] { SetJavaHome(REG_DWORD, &kNumber, sizeof(kNumber)); }},
        {.condition = "registry: JavaHome of 261 characters", .fast = true,
         .expected = {kOk, kWarning, "", "", "VM1OL0OP0JP0"},
         .prepare = [] { SetJavaHomeText("C:\\" + std::string(258, 'j')); }},
        {.condition = "registry: JavaHome of 262 characters",
         .expected = {kOk, kError, "", "", kNoJavaServed},
         .prepare = [] { SetJavaHomeText("C:\\" + std::string(259, 'j')); }},
        {.condition = "registry: JavaHome with spaces",
         .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"},
         .prepare = [] { MakeJavaHome("C:\\Java\\Java Runtime 8", "1.8"); },
         .check = [] {
             return Expect(FileExists(Profile() + "\\.java.policy"),
                           "CopyPolicyFile did not run from the home with spaces");
         }},
        {.condition = "registry: JavaHome names a missing directory",
         .expected = {kOk, kWarning, "", "", "VM1OL0OP0JP0"},
         .prepare = [] { SetJavaHomeText("C:\\Java\\gone"); }},
        {.condition = "registry: Netscape directory with a trailing backslash", .fast = true,
         .tickNetscape = true, .expected = {kOk, kOk, "", kOk, "Netscape 4.x: OK"},
         .prepare = [] { SetInstallDirectory(std::string(kNetscapeInstall) + "\\"); },
         .check = [] {
             return Expect(
                 FileExists(std::string(kNetscapeRoot) + "\\Users\\default\\.opencard.properties"),
                 "the profile got no .opencard.properties");
         }},
        {.condition = "registry: Netscape directory without a backslash", .tickNetscape = true,
         .expected = {kOk, kOk, "", kWarning, kNoNetscape},
         .prepare = [] { SetInstallDirectory("Communicator"); }},
        {.condition = "registry: Netscape directory empty", .tickNetscape = true,
         .expected = {kOk, kOk, "", kWarning, kNoNetscape},
         .prepare = [] { SetInstallDirectory(""); }},

        // Files
        {.condition = "files: home library held open, Abort", .fast = true,
         .expected = {"", "", "", "", ""}, .prepare = HoldHomeLibrary, .answers = {IDABORT},
         .check = [] {
             return Expect(!FileExists(HomeFile("lib\\opencard.properties")), "copied on");
         },
         .quietExit = 3010},
        {.condition = "files: home library held open, Retry",
         .expected = {kOk, kOk, "", "", "Plug-in: OK"}, .prepare = HoldHomeLibrary,
         .answers = {IDRETRY}, .onPrompt = [] { g_hold.reset(); }, .quietExit = 3010},
        {.condition = "files: home library held open, Ignore",
         .expected = {kOk, kOk, "", "", "Plug-in: OK"}, .prepare = HoldHomeLibrary,
         .answers = {IDIGNORE},
         .check = [] {
             return Expect(ReadTextFile(HomeFile("lib\\ext\\ocf1.2.jar")) == "an older OCF library",
                           "the held library was replaced");
         },
         .quietExit = 3010},
        {.condition = "files: ocf1.2.jar in system32 locked", .fast = true,
         .expected = {kOk, kOk, "", "", kRemovalFailed}, .prepare = HoldSystemLibrary},
        {.condition = "files: an existing .ocf-bak, two runs",
         .expected = {kOk, kOk, "", "", "Plug-in: OK"}, .prepare = LeaveAnEarlierRunsBackup,
         .runs = 2,
         .check = [] {
             return Expect(ReadTextFile(HomeFile("lib\\security\\java.policy.ocf-bak")) ==
                               "the first backup",
                           "the backup changed");
         }},
        {.condition = "files: a Java home of 150 characters, two runs", .fast = true,
         .expected = {kOk, kOk, "", "", "Plug-in: OK"},
         .prepare = [] {
             DeleteRegistryTree(HKEY_LOCAL_MACHINE, std::string(kRuntimes) + "\\1.8");
             MakeJavaHome(LongHome(), "1.8");
         },
         .runs = 2,
         .check = [] {
             return Expect(ReadTextFile(LongHome() + "\\lib\\security\\java.policy.ocf-bak") ==
                               "the runtime's own policy: " + LongHome(),
                           "the backup lost the runtime's policy");
         }},

        // PC/SC and the driver launchers
        {.condition = "pc/sc: a gemplus reader second of several names", .fast = true,
         .expected = {kWarning, kOk, "", "", "Wykryto już zainstalowany w systemie czytnik rodziny GEMPLUS"},
         .prepare = [] {
             SetEnvironmentVariableA("CARDSETUP_SCARD_READERS", "Other Reader 0|x gemplus twin 1");
         }},
        {.condition = "pc/sc: winscard.dll without its function",
         .expected = {kOk, kOk, "", "", kDriverOk},
         .prepare = [] {
             CopyFileA((ProgramDirectory() + "\\winscard_without_function.dll").c_str(),
                       SystemFile("winscard.dll").c_str(), FALSE);
         }},
        {.condition = "pc/sc: the list call fails", .expected = {kOk, kOk, "", "", kDriverOk},
         .prepare = [] { SetEnvironmentVariableA("CARDSETUP_SCARD_MODE", "list-fails"); }},
        {.condition = "drivers: the launcher's package missing",
         .expected = {kError, kOk, "", "", "Błąd uruchomienia zewn. sterownika: Drivers\\twin64.bat"},
         .prepare = [] { RemoveMedia("Drivers\\twin64-driver.exe"); }},

        // Scale
        {.condition = "java: 50 runtimes in one run", .expected = {kOk, kOk, "", "", "Plug-in: OK"},
         .prepare = [] {
             for (int i = 1; i < 50; i++)
                 MakeJavaHome(ManyHome(i), "1.8.0_" + std::to_string(100 + i));
         },
         .check = [] {
             for (int i = 1; i < 50; i++)
                 if (!FileExists(ManyHome(i) + "\\lib\\ext\\ocf1.2.jar"))
                     return std::string("a runtime was left out");
             return std::string();
         }},

        // Read-only files, which Windows refuses to overwrite or delete
        {.condition = "files: read-only java.policy in the home, Retry", .fast = true,
         .expected = {kOk, kOk, "", "", "Plug-in: OK"},
         .prepare = [] { MakeHomeFileReadOnly("lib\\security\\java.policy", ""); },
         .answers = {IDRETRY},
         .check = [] {
             std::string policy = HomeFile("lib\\security\\java.policy");
             return Expect(g_prompts == 1, "not one prompt") +
                    Expect(ReadTextFile(policy) == ReadTextFile(Media("sun\\java.policy")),
                           "the policy was not replaced") +
                    Expect(ReadTextFile(policy + ".ocf-bak") ==
                               "the runtime's own policy: " + std::string(kHome),
                           "the backup lost the runtime's policy") +
                    ReadOnlyCopies();
         }},
        {.condition = "files: read-only java.policy in the home, Ignore",
         .expected = {kOk, kOk, "", "", "Plug-in: OK"},
         .prepare = [] { MakeHomeFileReadOnly("lib\\security\\java.policy", ""); },
         .answers = {IDIGNORE},
         .check = [] {
             std::string policy = HomeFile("lib\\security\\java.policy");
             return Expect(ReadTextFile(policy) == "the runtime's own policy: " + std::string(kHome) &&
                               (Attributes(policy) & FILE_ATTRIBUTE_READONLY),
                           "the read-only policy changed");
         }},
        {.condition = "files: read-only ocf1.2.jar in the home, Retry",
         .expected = {kOk, kOk, "", "", "Plug-in: OK"},
         .prepare = [] { MakeHomeFileReadOnly("lib\\ext\\ocf1.2.jar", "an older OCF library"); },
         .answers = {IDRETRY},
         .check = [] {
             return Expect(g_prompts == 1, "not one prompt") +
                    Expect(ReadTextFile(HomeFile("lib\\ext\\ocf1.2.jar")) ==
                               ReadTextFile(Media("sun\\ocf1.2.jar")),
                           "the library was not replaced") +
                    ReadOnlyCopies();
         }},
        {.condition = "files: read-only ocf1.2.jar in system32",
         .expected = {kOk, kOk, "", "", kRemovalFailed},
         .prepare = [] {
             WriteTextFile(SystemFile("ocf1.2.jar"), "a library from an earlier installation");
             MakeReadOnly(SystemFile("ocf1.2.jar"));
         },
         .check = [] {
             return Expect(ReadTextFile(SystemFile("ocf1.2.jar")) ==
                               "a library from an earlier installation",
                           "the read-only library did not stay");
         }},
        {.condition = "media: every media file read-only, as on a CD, two runs",
         .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"}, .prepare = MakeMediaReadOnly,
         .runs = 2, .check = ReadOnlyCopies},

        // Taking it back
        {.condition = "uninstall: the defaults installed, then /uninstall /quiet", .fast = true,
         .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"},
         .check = UninstallLeavesThePcAsBefore},
        {.condition = "uninstall: a user's own .java.policy, installed, then /uninstall /quiet",
         .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"},
         .prepare = [] { WriteTextFile(Profile() + "\\.java.policy", "the user's own policy"); },
         .check = UninstallLeavesThePcAsBefore},

        // How deployment tools start it, and what they read from its exit code
        {.condition = "start: by its full path from C:\\windows, as a startup script", .fast = true,
         .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"}, .check = UserPolicyWritten,
         .startedIn = L"C:\\windows"},
        {.condition = "start: from C:\\windows, media in C:\\Łódź (code page 1252)",
         .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"}, .check = UserPolicyWritten,
         .codePage = 1252, .mediaFolder = kPolishMedia, .startedIn = L"C:\\windows"},
        {.condition = "start: a re-run with the reader installed since", .fast = true,
         .expected = {kWarning, kOk, "", "", "Wykryto już zainstalowany w systemie czytnik"},
         .runs = 2, .beforeLastRun = [] {
             SetEnvironmentVariableA("CARDSETUP_SCARD_READERS", "Gemplus USB Smart Card Reader 0");
         },
         .quietExit = 0},
        {.condition = "drivers: the package asks for a restart (3010)",
         .expected = {kOk, kOk, "", "", kDriverOk},
         .prepare = [] { WriteTextFile(Media("Drivers\\twin64.bat"), "@exit /b 3010\r\n"); },
         .quietExit = 3010},
        {.condition = "drivers: the package begins a restart (1641)", .fast = true,
         .expected = {kOk, kOk, "", "", kDriverOk},
         .prepare = [] { WriteTextFile(Media("Drivers\\twin64.bat"), "@exit /b 1641\r\n"); },
         .quietExit = 1641},
        {.condition = "drivers: the package finds another installation at work (1618)",
         .expected = {kOk, kOk, "", "", kDriverOk},
         .prepare = [] { WriteTextFile(Media("Drivers\\twin64.bat"), "@exit /b 1618\r\n"); },
         .quietExit = 1618},

        // Windows in other languages: folders with letters that the ANSI code page lacks
        {.condition = "language: media in C:\\Łódź, English Windows (code page 1252)", .fast = true,
         .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"}, .check = UserPolicyWritten,
         .codePage = 1252, .mediaFolder = kPolishMedia},
        {.condition = "language: media in a Cyrillic folder, Polish Windows (code page 1250)",
         .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"}, .check = UserPolicyWritten,
         .mediaFolder = kCyrillicMedia},
        {.condition = "language: media in C:\\Łódź beside its look-alike C:\\Lódz (code page 1252)",
         .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"}, .prepare = PlantLookAlikeMedia,
         .check = [] {
             Sleep(1000);  // the launcher is not waited for
             return UserPolicyWritten() +
                    Expect(!FileExists(kTrapProof), "the look-alike's launcher ran");
         },
         .codePage = 1252, .mediaFolder = kPolishMedia},
        {.condition = "language: a runtime in C:\\Java\\Łukasz jre8 (code page 1252)",
         .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"},
         .check = [] {
             return UserPolicyWritten() +
                    Expect(ReadTextFile(HomeFile("lib\\ext\\ocf1.2.jar")) ==
                               ReadTextFile(Media("sun\\ocf1.2.jar")),
                           "the runtime did not get the library");
         },
         .codePage = 1252, .unicodeHome = true},

        // Cut off, and changed between runs
        {.condition = "kill: a run stopped dead at the policy's backup, then run again",
         .fast = true, .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"},
         .prepare = KillARunAtThePolicysBackup,
         .check = [] {
             return Expect(ReadTextFile(HomeFile("lib\\security\\java.policy.ocf-bak")) ==
                               OriginalPolicy(),
                           "the backup is not the runtime's own policy") +
                    Expect(ReadTextFile(HomeFile("lib\\security\\java.policy")) ==
                               ReadTextFile(Media("sun\\java.policy")),
                           "the policy is not the installer's") +
                    NoTemporaryFilesLeft();
         }},
        {.condition = "edit: a grant added to the policy after an install, installed again, "
                      "then /uninstall /quiet",
         .expected = {kOk, kOk, "", "", "Sun Java Plug-in: OK"},
         .prepare = EditThePolicyAfterAnInstall, .check = TheEditSurvivesTheUninstall},
    };
}

std::string ExpectedText(const Expected& e)
{
    return Labels(e.driver, e.java, e.ie, e.netscape) + (*e.reportPart ? std::string(": ") + e.reportPart : "");
}

// ---- One row: prepare, run, judge, print ----------------------------------------------------

// Lays out the PC, applies the row's condition and gives what the PC holds before the runs.
Snapshot Prepare(const Row& row, const std::string& sourceMedia)
{
    LayOutThePc(sourceMedia);
    if (row.prepare)
        row.prepare();
    return TakeSnapshot();
}

// Runs the installer as often as the row says; what the last run showed. Media and a runtime in
// folders with other letters are moved there for the runs and back for the judging.
Seen Run(const Row& row, bool quiet)
{
    std::unique_ptr<MovedTo> media;
    std::unique_ptr<MovedTo> home;
    Seen seen;
    if (row.mediaFolder)
        media.reset(new MovedTo(kMedia, row.mediaFolder));
    if (row.unicodeHome) {
        home.reset(new MovedTo(kHome, kUnicodeHome));
        SetRegistryWideString(HKEY_LOCAL_MACHINE, std::string(kRuntimes) + "\\1.8", "JavaHome",
                              kUnicodeHome);
    }
    if ((media && !media->Moved()) || (home && !home->Moved())) {
        seen.problem = "the media or the runtime could not be moved";
        return seen;
    }
    for (int run = 0; run < row.runs; run++) {
        if (run == row.runs - 1 && run > 0 && row.beforeLastRun)
            row.beforeLastRun();
        seen = quiet ? RunQuietly(row) : RunInstaller(row);
    }
    g_hold.reset();
    return seen;
}

struct Verdict {
    std::string seen;  // the labels and report, with any problem and failed further check
    std::string lost;  // the files the PC lost
    bool holds;
};

bool Is(const char* label, const char* expected)
{
    return std::string(label) == expected;
}

// What a quiet run of the row ends with: 1603 where the dialog shows an error, a warning of a
// component step or the failed removal, and where a prompt would come (no one answers it, so a
// file in use or read-only stays as it is); 3010 otherwise, as every row's PC gets files; or
// the row's own code, where the driver package gave one.
DWORD ExpectedQuietExit(const Row& row)
{
    const Expected& e = row.expected;
    if (row.quietExit >= 0)
        return (DWORD)row.quietExit;
    bool failed = !row.answers.empty() || std::string(e.reportPart) == kRemovalFailed ||
                  Is(e.driver, kError);
    for (const char* label : {e.java, e.ie, e.netscape})
        failed = failed || Is(label, kError) || Is(label, kWarning);
    return failed ? 1603 : 3010;
}

Verdict JudgeQuiet(const Row& row, const Seen& seen, const Snapshot& before)
{
    Verdict verdict;
    verdict.lost = Lost(before);
    verdict.holds = seen.problem.empty() && seen.exitCode == ExpectedQuietExit(row) &&
                    verdict.lost.empty();
    verdict.seen = "quiet: exit code " + std::to_string(seen.exitCode) +
                   (seen.problem.empty() ? "" : "; " + seen.problem);
    return verdict;
}

Verdict Judge(const Row& row, const Seen& seen, const Snapshot& before)
{
    const Expected& e = row.expected;
    Verdict verdict;
    verdict.lost = Lost(before);
    std::string further = row.check ? row.check() : "";
    verdict.holds = seen.problem.empty() && seen.driver == e.driver && seen.java == e.java &&
                    seen.ie == e.ie && seen.netscape == e.netscape &&
                    seen.report.find(e.reportPart) != std::string::npos &&
                    (*e.reportPart != '\0' || seen.report.empty()) && verdict.lost.empty() &&
                    further.empty();
    verdict.seen = Labels(seen.driver.c_str(), seen.java.c_str(), seen.ie.c_str(),
                          seen.netscape.c_str()) +
                   ": " + (seen.report.empty() ? "(no report)" : OneLine(seen.report));
    if (!seen.problem.empty())
        verdict.seen = seen.problem + "; " + verdict.seen;
    if (!further.empty())
        verdict.seen += "; " + further;
    return verdict;
}

void Print(size_t index, const Row& row, bool quiet, const Verdict& verdict)
{
    std::string expected = quiet ? "quiet: exit code " + std::to_string(ExpectedQuietExit(row))
                                 : ExpectedText(row.expected);
    printf("%zu\t%s%s\t%s\t%s\t%s\t%s\n", index + 1, Utf8FromCp1250(row.condition).c_str(),
           quiet ? " (quiet)" : "", Utf8FromCp1250(expected).c_str(),
           Utf8FromCp1250(verdict.seen).c_str(),
           verdict.lost.empty() ? "nothing lost" : ("LOST: " + verdict.lost).c_str(),
           verdict.holds ? "PASS" : "FAIL");
}

int RunRow(size_t index, const std::string& sourceMedia, bool quiet)
{
    std::vector<Row> rows = Rows();
    const Row& row = rows[index];
    Snapshot before = Prepare(row, sourceMedia);
    g_before = before;
    Seen seen = Run(row, quiet);
    Verdict verdict = quiet ? JudgeQuiet(row, seen, before) : Judge(row, seen, before);
    Print(index, row, quiet, verdict);
    return verdict.holds ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<Row> rows = Rows();
    if (argc == 2 && std::string(argv[1]) == "--list") {
        for (size_t i = 0; i < rows.size(); i++)
            printf("%zu\t%s\t%d\t%s\n", i + 1, rows[i].fast ? "fast" : "full", rows[i].codePage,
                   Utf8FromCp1250(rows[i].condition).c_str());
        return 0;
    }
    bool quiet = argc == 5 && std::string(argv[4]) == "--quiet";
    if ((argc == 4 || quiet) && std::string(argv[1]) == "--row") {
        size_t row = strtoul(argv[2], NULL, 10);
        if (row >= 1 && row <= rows.size())
            return RunRow(row - 1, argv[3], quiet);
    }
    fprintf(stderr, "usage: fault_matrix --list | --row N <media directory> [--quiet]\n");
    return 2;
}
