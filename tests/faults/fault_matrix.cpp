// One row of the fault matrix, run inside a fresh copy of a prepared Wine prefix: it lays out
// the media, a Java runtime and a Netscape installation, applies the row's bad condition, runs
// the real cardsetup.exe with the defaults, and compares the report and the PC's files with
// what the row expects. Usage: fault_matrix --list | --row N <media directory to copy>
// Prints one tab-separated line: row, condition, expected, seen, files, PASS or FAIL.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

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

// What the dialog should show: each label ("" for no section) and a piece of the report.
struct Expected {
    const char* driver;
    const char* java;
    const char* ie;
    const char* netscape;
    const char* reportPart;
};

struct Row;

// What a row changes and how it runs; each hook may be empty.
struct Row {
    const char* condition;
    bool fast;  // part of the short matrix that tools/test runs
    Expected expected;
    std::function<void()> prepare;
    bool tickIe = false;
    bool tickNetscape = false;
    std::vector<int> answers;          // buttons for the copy-conflict prompts, in turn
    std::function<void()> onPrompt;    // runs before each answer (a hold let go for Retry)
    int runs = 1;
    std::function<std::string()> check;  // a further check: "" when it holds
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
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((from + "\\*").c_str(), &entry);
    MakeDirectories(to);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CopyTreeFrom(from + "\\" + name, to + "\\" + name);
        else
            CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

// A runtime with its launcher (the bridge to the machine's JDK) and a policy of its own.
void MakeJavaHome(const std::string& home, const std::string& version)
{
    MakeDirectories(home + "\\lib\\ext");
    MakeDirectories(home + "\\lib\\security");
    MakeDirectories(home + "\\bin");
    CopyFileA((ProgramDirectory() + "\\java_bridge.exe").c_str(), (home + "\\bin\\java.exe").c_str(),
              FALSE);
    WriteTextFile(home + "\\lib\\security\\java.policy", "the runtime's own policy: " + home);
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

typedef std::map<std::string, std::string> Snapshot;

void AddTree(Snapshot* snapshot, const std::string& directory)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = entry.cFileName;
        std::string path = directory + "\\" + name;
        if (name == "." || name == "..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            AddTree(snapshot, path);
        else
            (*snapshot)[path] = ReadTextFile(path);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

// Everything the PC holds where the installer writes.
Snapshot TakeSnapshot()
{
    Snapshot snapshot;
    AddTree(&snapshot, kJavaRoot);
    AddTree(&snapshot, kNetscapeRoot);
    AddTree(&snapshot, WindowsDirectory() + "\\java");
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

// A policy may be replaced only with its original kept as its backup; the installer's own OCF
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
        if (policy && ReadTextFile(path + ".ocf-bak") == file.second)
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

int g_prompts = 0;  // copy-conflict prompts shown in the row's runs


struct Seen {
    std::string driver, java, ie, netscape, report, problem;
};

Seen RunInstaller(const Row& row)
{
    Seen seen;
    InstallerSession program(kMedia);
    if (!program.AnswerWelcome(IDYES)) {
        seen.problem = "no welcome question";
        return seen;
    }
    HWND dialog = program.Dialog();
    if (dialog == NULL) {
        seen.problem = "no dialog";
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
    PressDialogButton(dialog, IDCANCEL);
    HWND notice = program.WaitForWindow("Info");
    if (notice != NULL)
        PressDialogButton(notice, IDOK);
    if (program.WaitForExit() != 0 && seen.problem.empty())
        seen.problem = "exit code not 0";
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
    for (char c : text)
        if (c != '\r')
            line += c == '\n' ? ' ' : c;
    while (line.find("  ") != std::string::npos)
        line.replace(line.find("  "), 2, " ");
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

Row MakeRow(const char* condition, bool fast, Expected expected, std::function<void()> prepare,
            std::function<std::string()> check = nullptr, int runs = 1)
{
    Row row;
    row.condition = condition;
    row.fast = fast;
    row.expected = expected;
    row.prepare = prepare;
    row.check = check;
    row.runs = runs;
    return row;
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

const char kMissing[] = "Instalator jest niekompletny";
const char kOk[] = "OK";
const char kError[] = "BŁĄD";
const char kWarning[] = "UWAGA";

std::vector<Row> Rows()
{
    static DWORD number = 8;
    std::vector<Row> rows;
    auto add = [&](Row row) { rows.push_back(row); };

    // Media
    add(MakeRow("media: no sun directory", true, {kOk, kError, "", "", kMissing},
         [] { RemoveMedia("sun"); }));
    add(MakeRow("media: no Drivers directory", false, {kError, kOk, "", "", kMissing},
         [] { RemoveMedia("Drivers"); }));
    Row noMsie = MakeRow("media: no msie directory (IE ticked)", false, {kOk, kOk, kError, "", kMissing},
                  [] { RemoveMedia("msie"); });
    noMsie.tickIe = true;
    add(noMsie);
    Row noNs = MakeRow("media: no ns directory (Netscape ticked)", false, {kOk, kOk, "", kError, kMissing},
                [] { RemoveMedia("ns"); });
    noNs.tickNetscape = true;
    add(noNs);
    add(MakeRow("media: no sun\\ocf1.2.jar", false, {kOk, kWarning, "", "", "VM1OL0OP1JP3"},
         [] { RemoveMedia("sun\\ocf1.2.jar"); }));
    add(MakeRow("media: no sun\\opencard.properties", false, {kOk, kWarning, "", "", "VM1OL1OP0JP2"},
         [] { RemoveMedia("sun\\opencard.properties"); }));
    add(MakeRow("media: no sun\\java.policy (one command still counts)", false,
         {kOk, kOk, "", "", "Sun Java Plug-in: OK"}, [] { RemoveMedia("sun\\java.policy"); }));
    add(MakeRow("media: no sun\\ocfpcsc1.dll", false,
         {kOk, kError, "", "", "Błąd kopiowania biblioteki obsługi czytników PC/SC"},
         [] { RemoveMedia("sun\\ocfpcsc1.dll"); }));
    add(MakeRow("media: no sun\\CopyPolicyFile.class", true, {kOk, kOk, "", "", "Sun Java Plug-in: OK"},
         [] { RemoveMedia("sun\\CopyPolicyFile.class"); },
         [] { return Expect(!FileExists(Profile() + "\\.java.policy"), "a policy reached the home"); }));
    add(MakeRow("media: no Drivers\\twin64.bat", false,
         {kError, kOk, "", "", "Błąd uruchomienia zewn. sterownika: Drivers\\twin64.bat"},
         [] { RemoveMedia("Drivers\\twin64.bat"); }));
    Row noOcfTree = MakeRow("media: no msie\\ocf (IE ticked)", false,
                     {kOk, kOk, kError, "", "kod #2, plik: `'"}, [] { RemoveMedia("msie\\ocf"); });
    noOcfTree.tickIe = true;
    add(noOcfTree);
    Row noIeBridge = MakeRow("media: no msie\\ocfpcsc1.dll (IE ticked)", false,
                      {kOk, kOk, kError, "", "kod #1, plik: `ocfpcsc1.dll'"},
                      [] { RemoveMedia("msie\\ocfpcsc1.dll"); });
    noIeBridge.tickIe = true;
    add(noIeBridge);
    Row noJars = MakeRow("media: no ns\\jars (Netscape ticked)", false,
                  {kOk, kOk, "", kError, "kod #2, plik: `'"}, [] { RemoveMedia("ns\\jars"); });
    noJars.tickNetscape = true;
    add(noJars);
    Row noNsProperties = MakeRow("media: no ns\\opencard.properties (Netscape ticked)", false,
                          {kOk, kOk, "", kWarning, "OP0PF1"},
                          [] { RemoveMedia("ns\\opencard.properties"); });
    noNsProperties.tickNetscape = true;
    add(noNsProperties);
    add(MakeRow("media: an empty media directory", true, {kError, kError, "", "", kMissing}, [] {
             RemoveTree(kMedia);
             MakeDirectory(kMedia);
             CopyFileA((ProgramDirectory() + "\\cardsetup.exe").c_str(), Media("cardsetup.exe").c_str(),
                       FALSE);
         }));

    // Registry
    add(MakeRow("registry: no JavaSoft key", true,
         {kOk, kWarning, "", "", "Nie wykryto instalacji środowiska JRE/JDK"},
         [] { DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft"); },
         [] { return Expect(FileExists(SystemFile("ocfpcsc1.dll")), "no bridge in system32"); }));
    add(MakeRow("registry: family keys without versions", false,
         {kOk, kError, "", "", "Nie zainstalowano sterowników OCF dla żadnego"}, [] {
             DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft");
             CreateRegistryKey(HKEY_LOCAL_MACHINE, kRuntimes);
             CreateRegistryKey(HKEY_LOCAL_MACHINE, kKits);
         }));
    add(MakeRow("registry: JavaHome missing", false,
         {kOk, kError, "", "", "Nie zainstalowano sterowników OCF dla żadnego"},
         [] { SetJavaHome(REG_NONE, NULL, 0); }));
    add(MakeRow("registry: JavaHome empty", false,
         {kOk, kError, "", "", "Nie zainstalowano sterowników OCF dla żadnego"},
         [] { SetJavaHome(REG_SZ, "", 1); }));
    add(MakeRow("registry: JavaHome a number (REG_DWORD)", false,
         {kOk, kError, "", "", "Nie zainstalowano sterowników OCF dla żadnego"},
         [] { SetJavaHome(REG_DWORD, &number, sizeof(number)); }));
    add(MakeRow("registry: JavaHome of 261 characters", true, {kOk, kWarning, "", "", "VM1OL0OP0JP0"},
         [] { SetJavaHomeText("C:\\" + std::string(258, 'j')); }));
    add(MakeRow("registry: JavaHome of 262 characters", false,
         {kOk, kError, "", "", "Nie zainstalowano sterowników OCF dla żadnego"},
         [] { SetJavaHomeText("C:\\" + std::string(259, 'j')); }));
    add(MakeRow("registry: JavaHome with spaces", false, {kOk, kOk, "", "", "Sun Java Plug-in: OK"},
         [] {
             MakeJavaHome("C:\\Java\\Java Runtime 8", "1.8");
         },
         [] {
             return Expect(FileExists(Profile() + "\\.java.policy"),
                           "CopyPolicyFile did not run from the home with spaces");
         }));
    add(MakeRow("registry: JavaHome names a missing directory", false,
         {kOk, kWarning, "", "", "VM1OL0OP0JP0"}, [] { SetJavaHomeText("C:\\Java\\gone"); }));
    Row trailing = MakeRow("registry: Netscape directory with a trailing backslash", true,
                    {kOk, kOk, "", kOk, "Netscape 4.x: OK"},
                    [] { SetInstallDirectory(std::string(kNetscapeInstall) + "\\"); });
    trailing.tickNetscape = true;
    trailing.check = [] {
        return Expect(FileExists(std::string(kNetscapeRoot) + "\\Users\\default\\.opencard.properties"),
                      "the profile got no .opencard.properties");
    };
    add(trailing);
    Row noBackslash = MakeRow("registry: Netscape directory without a backslash", false,
                       {kOk, kOk, "", kWarning, "Nie wykryto zainstalownej przeglądarki Netscape"},
                       [] { SetInstallDirectory("Communicator"); });
    noBackslash.tickNetscape = true;
    add(noBackslash);
    Row emptyNetscape = MakeRow("registry: Netscape directory empty", false,
                         {kOk, kOk, "", kWarning, "Nie wykryto zainstalownej przeglądarki Netscape"},
                         [] { SetInstallDirectory(""); });
    emptyNetscape.tickNetscape = true;
    add(emptyNetscape);

    // Files
    Row abort = MakeRow("files: home library held open, Abort", true, {"", "", "", "", ""},
                 HoldHomeLibrary);
    abort.answers = {IDABORT};
    abort.check = [] { return Expect(!FileExists(HomeFile("lib\\opencard.properties")), "copied on"); };
    add(abort);
    Row retry = MakeRow("files: home library held open, Retry", false, {kOk, kOk, "", "", "Plug-in: OK"},
                 HoldHomeLibrary);
    retry.answers = {IDRETRY};
    retry.onPrompt = [] { g_hold.reset(); };
    add(retry);
    Row ignore = MakeRow("files: home library held open, Ignore", false, {kOk, kOk, "", "", "Plug-in: OK"},
                  HoldHomeLibrary);
    ignore.answers = {IDIGNORE};
    ignore.check = [] {
        return Expect(ReadTextFile(HomeFile("lib\\ext\\ocf1.2.jar")) == "an older OCF library",
                      "the held library was replaced");
    };
    add(ignore);
    add(MakeRow("files: ocf1.2.jar in system32 locked", true,
         {kOk, kOk, "", "", "Detekcja/deinstalacja poprzedniego środowiska OCF: BŁĄD"}, [] {
             WriteTextFile(SystemFile("ocf1.2.jar"), "a library from an earlier installation");
             g_hold.reset(new FileHold(SystemFile("ocf1.2.jar"), GENERIC_READ, FILE_SHARE_READ));
         }));
    add(MakeRow("files: an existing .ocf-bak, two runs", false, {kOk, kOk, "", "", "Plug-in: OK"},
         [] {
             // As an earlier run left the home: the installer's policy, the original as backup.
             CopyFileA(Media("sun\\java.policy").c_str(), HomeFile("lib\\security\\java.policy").c_str(),
                       FALSE);
             WriteTextFile(HomeFile("lib\\security\\java.policy.ocf-bak"), "the first backup");
         },
         [] {
             return Expect(ReadTextFile(HomeFile("lib\\security\\java.policy.ocf-bak")) ==
                               "the first backup",
                           "the backup changed");
         },
         2));
    add(MakeRow("files: a Java home of 150 characters, two runs", true, {kOk, kOk, "", "", "Plug-in: OK"},
         [] {
             DeleteRegistryTree(HKEY_LOCAL_MACHINE, std::string(kRuntimes) + "\\1.8");
             MakeJavaHome(LongHome(), "1.8");
         },
         [] {
             return Expect(ReadTextFile(LongHome() + "\\lib\\security\\java.policy.ocf-bak") ==
                               "the runtime's own policy: " + LongHome(),
                           "the backup lost the runtime's policy");
         },
         2));

    // PC/SC and the driver launchers
    add(MakeRow("pc/sc: a gemplus reader second of several names", true,
         {kWarning, kOk, "", "", "Wykryto już zainstalowany w systemie czytnik rodziny GEMPLUS"},
         [] { SetEnvironmentVariableA("CARDSETUP_SCARD_READERS", "Other Reader 0|x gemplus twin 1"); }));
    add(MakeRow("pc/sc: winscard.dll without its function", false,
         {kOk, kOk, "", "", "Instalacja sterownika czytnika kart: OK"}, [] {
             CopyFileA((ProgramDirectory() + "\\winscard_without_function.dll").c_str(),
                       SystemFile("winscard.dll").c_str(), FALSE);
         }));
    add(MakeRow("pc/sc: the list call fails", false,
         {kOk, kOk, "", "", "Instalacja sterownika czytnika kart: OK"},
         [] { SetEnvironmentVariableA("CARDSETUP_SCARD_MODE", "list-fails"); }));
    add(MakeRow("drivers: the launcher's package missing", false,
         {kOk, kOk, "", "", "Instalacja sterownika czytnika kart: OK"},
         [] { RemoveMedia("Drivers\\twin64-driver.exe"); }));

    // Scale
    add(MakeRow("java: 50 runtimes in one run", false, {kOk, kOk, "", "", "Plug-in: OK"},
         [] {
             for (int i = 1; i < 50; i++)
                 MakeJavaHome(std::string(kJavaRoot) + "\\jre" + std::to_string(100 + i),
                              "1.8.0_" + std::to_string(100 + i));
         },
         [] {
             for (int i = 1; i < 50; i++)
                 if (!FileExists(std::string(kJavaRoot) + "\\jre" + std::to_string(100 + i) +
                                 "\\lib\\ext\\ocf1.2.jar"))
                     return std::string("a runtime was left out");
             return std::string();
         }));

    // Read-only files, which Windows refuses to overwrite or delete
    Row policyRetry = MakeRow("files: read-only java.policy in the home, Retry", true,
                       {kOk, kOk, "", "", "Plug-in: OK"},
                       [] { MakeHomeFileReadOnly("lib\\security\\java.policy", ""); });
    policyRetry.answers = {IDRETRY};
    policyRetry.check = [] {
        std::string policy = HomeFile("lib\\security\\java.policy");
        return Expect(g_prompts == 1, "not one prompt") +
               Expect(ReadTextFile(policy) == ReadTextFile(Media("sun\\java.policy")),
                      "the policy was not replaced") +
               Expect(ReadTextFile(policy + ".ocf-bak") == "the runtime's own policy: " + std::string(kHome),
                      "the backup lost the runtime's policy") +
               ReadOnlyCopies();
    };
    add(policyRetry);
    Row policyIgnore = MakeRow("files: read-only java.policy in the home, Ignore", false,
                        {kOk, kOk, "", "", "Plug-in: OK"},
                        [] { MakeHomeFileReadOnly("lib\\security\\java.policy", ""); });
    policyIgnore.answers = {IDIGNORE};
    policyIgnore.check = [] {
        std::string policy = HomeFile("lib\\security\\java.policy");
        return Expect(ReadTextFile(policy) == "the runtime's own policy: " + std::string(kHome) &&
                          (Attributes(policy) & FILE_ATTRIBUTE_READONLY),
                      "the read-only policy changed");
    };
    add(policyIgnore);
    Row libraryRetry = MakeRow("files: read-only ocf1.2.jar in the home, Retry", false,
                        {kOk, kOk, "", "", "Plug-in: OK"},
                        [] { MakeHomeFileReadOnly("lib\\ext\\ocf1.2.jar", "an older OCF library"); });
    libraryRetry.answers = {IDRETRY};
    libraryRetry.check = [] {
        return Expect(g_prompts == 1, "not one prompt") +
               Expect(ReadTextFile(HomeFile("lib\\ext\\ocf1.2.jar")) ==
                          ReadTextFile(Media("sun\\ocf1.2.jar")),
                      "the library was not replaced") +
               ReadOnlyCopies();
    };
    add(libraryRetry);
    add(MakeRow("files: read-only ocf1.2.jar in system32", false,
         {kOk, kOk, "", "", "Detekcja/deinstalacja poprzedniego środowiska OCF: BŁĄD"},
         [] {
             WriteTextFile(SystemFile("ocf1.2.jar"), "a library from an earlier installation");
             MakeReadOnly(SystemFile("ocf1.2.jar"));
         },
         [] {
             return Expect(ReadTextFile(SystemFile("ocf1.2.jar")) ==
                               "a library from an earlier installation",
                           "the read-only library did not stay");
         }));
    add(MakeRow("media: every media file read-only, as on a CD, two runs", false,
         {kOk, kOk, "", "", "Sun Java Plug-in: OK"},
         [] {
             Snapshot media;
             AddTree(&media, kMedia);
             for (const auto& file : media)
                 MakeReadOnly(file.first);
         },
         ReadOnlyCopies, 2));
    return rows;
}

std::string ExpectedText(const Expected& e)
{
    return Labels(e.driver, e.java, e.ie, e.netscape) + (*e.reportPart ? std::string(": ") + e.reportPart : "");
}

int RunRow(size_t index, const std::string& sourceMedia)
{
    std::vector<Row> rows = Rows();
    const Row& row = rows[index];
    LayOutThePc(sourceMedia);
    if (row.prepare)
        row.prepare();
    Snapshot before = TakeSnapshot();
    Seen seen;
    for (int run = 0; run < row.runs; run++)
        seen = RunInstaller(row);
    g_hold.reset();
    std::string lost = Lost(before);
    std::string further = row.check ? row.check() : "";

    const Expected& e = row.expected;
    bool holds = seen.problem.empty() && seen.driver == e.driver && seen.java == e.java &&
                 seen.ie == e.ie && seen.netscape == e.netscape &&
                 seen.report.find(e.reportPart) != std::string::npos &&
                 (*e.reportPart != '\0' || seen.report.empty()) && lost.empty() && further.empty();
    std::string seenText = Labels(seen.driver.c_str(), seen.java.c_str(), seen.ie.c_str(),
                                  seen.netscape.c_str()) +
                           ": " + (seen.report.empty() ? "(no report)" : OneLine(seen.report));
    if (!seen.problem.empty())
        seenText = seen.problem + "; " + seenText;
    if (!further.empty())
        seenText += "; " + further;
    printf("%zu\t%s\t%s\t%s\t%s\t%s\n", index + 1, Utf8FromCp1250(row.condition).c_str(),
           Utf8FromCp1250(ExpectedText(e)).c_str(), Utf8FromCp1250(seenText).c_str(),
           lost.empty() ? "nothing lost" : ("LOST: " + lost).c_str(), holds ? "PASS" : "FAIL");
    return holds ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<Row> rows = Rows();
    if (argc == 2 && std::string(argv[1]) == "--list") {
        for (size_t i = 0; i < rows.size(); i++)
            printf("%zu\t%s\t%s\n", i + 1, rows[i].fast ? "fast" : "full", Utf8FromCp1250(rows[i].condition).c_str());
        return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--row") {
        size_t row = strtoul(argv[2], NULL, 10);
        if (row >= 1 && row <= rows.size())
            return RunRow(row - 1, argv[3]);
    }
    fprintf(stderr, "usage: fault_matrix --list | --row N <media directory>\n");
    return 2;
}
