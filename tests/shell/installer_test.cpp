// cardsetup.exe end to end, as a user meets it: started in a test media directory under Wine,
// its welcome question answered, its dialog read and pressed through the Win32 API. The prefix
// holds one registered Java runtime, the PC/SC double and driver launchers that leave proof.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/installer_session.h"
#include "resource.h"
#include "shell/command_line.h"
#include "shell/window_titles.h"
#include "support/prompt_answerer.h"
#include "support/registry_keys.h"
#include "support/test_files.h"

namespace {

const char kJavaSoft[] = "SOFTWARE\\JavaSoft";
const char kRestartNotice[] =
    "Dla poprawnego zakończenia instalacji konieczne jest zrestartowanie komputera.";
const char kWelcomeText[] =
    "Za chwilę rozpocznie się instalacja i konfiguracja środowiska obsługi czytnika kart "
    "mikroprocesorowych,\ndla współpracy z przeglądarkami internetowymi: MS Internet Explorer i "
    "tych pracujących\nna bazie silnika Sun Java Plug-in (m.in. przeglądarki: Mozilla, Netscape "
    "7.x, Opera)\n\nInstalator spróbuje samodzielnie wykryć przeglądarki zainstalowane na tym "
    "komputerze i dokonać dla nich\nkonfiguracji odpowiedniego środowiska. Dlatego też należy "
    "mieć już zainstalowane przeglądarki internetowe,\nktóre mają współpracować z czytnikiem "
    "kart, lub gdy ich nie ma, opuścić ten instalator, zainstalować wymagane\nprzeglądarki i "
    "uruchomić go ponownie.\n\nCzy chcesz kontynuować instalacje ?";
const char kDriverOk[] = "Instalacja sterownika czytnika kart: OK\r\n\r\n";
const char kJavaOk[] = "Instalacja komponentów dla Sun Java Plug-in: OK\r\n\r\n";

struct Heights {
    int collapsed;
    int expanded;
};

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The dialog as the template makes it, measured in this process: the heights the program's
// dialog must take when collapsed and expanded.
Heights TemplateHeights()
{
    Heights heights = {0, 0};
    HMODULE program = LoadLibraryExA((ProgramDirectory() + "\\cardsetup.exe").c_str(), NULL,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(IDD_INSTALLER), RT_DIALOG);
    const DLGTEMPLATE* dialogTemplate =
        found ? (const DLGTEMPLATE*)LockResource(LoadResource(program, found)) : NULL;
    HWND dialog = dialogTemplate
                      ? CreateDialogIndirectParamA(NULL, dialogTemplate, NULL, PlainDialogProc, 0)
                      : NULL;
    if (dialog != NULL) {
        RECT window;
        RECT details;
        GetWindowRect(dialog, &window);
        GetWindowRect(GetDlgItem(dialog, IDC_DETAILS), &details);
        heights.expanded = window.bottom - window.top;
        heights.collapsed = details.top - window.top;
        DestroyWindow(dialog);
    }
    if (program != NULL)
        FreeLibrary(program);
    return heights;
}

RECT WindowRect(HWND window)
{
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    return rect;
}

int Height(HWND window)
{
    RECT rect = WindowRect(window);
    return rect.bottom - rect.top;
}


bool RunIsUnderway(HWND dialog);

class Installer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(MakeDirectory(media / "sun"));
        for (const char* name : {"ocf1.2.jar", "opencard.properties", "java.policy", "ocfpcsc1.dll"})
            ASSERT_TRUE(WriteTextFile(media / "sun\\" + name, std::string("media ") + name));
        ASSERT_TRUE(MakeDirectory(drivers));
        ASSERT_TRUE(WriteTextFile(drivers + "\\twin64.bat", "@cd > ran-twin64.txt\r\n"));
        ASSERT_TRUE(WriteTextFile(drivers + "\\twin8_64.bat", "@cd > ran-twin8_64.txt\r\n"));
        for (const char* package : {"twin64-driver.exe", "twin8_64-driver.exe"})
            ASSERT_TRUE(WriteTextFile(drivers + "\\" + package, "the vendor's package"));
        ASSERT_TRUE(CopyFileA((ProgramDirectory() + "\\winscard_double.dll").c_str(),
                              (SystemDirectory() + "\\winscard.dll").c_str(), FALSE));
        SetEnvironmentVariableA("CARDSETUP_SCARD_READERS", "");
        SetEnvironmentVariableA("CARDSETUP_SCARD_MODE", "");
        RemoveSystemFiles();
        MakeJavaHome();
        logsBefore = DefaultLogs();
    }
    void TearDown() override
    {
        RemoveSystemFiles();
        RemoveNewDefaultLogs();
    }

    // The default logs of quiet runs in the temporary folder, by name.
    static std::set<std::string> DefaultLogs()
    {
        char temporary[MAX_PATH + 1];
        std::set<std::string> logs;
        DWORD length = GetTempPathA(MAX_PATH + 1, temporary);
        if (length == 0 || length > MAX_PATH)
            return logs;
        ForEachEntry(temporary, [&](const std::string& name, bool isDirectory) {
            if (!isDirectory && name.rfind("cardsetup-", 0) == 0)
                logs.insert(std::string(temporary) + name);
        });
        return logs;
    }
    // The test's runs leave nothing behind in the temporary folder, pass or fail.
    void RemoveNewDefaultLogs()
    {
        for (const std::string& log : DefaultLogs()) {
            if (logsBefore.count(log) == 0)
                DeleteFileA(log.c_str());
        }
    }

    void RemoveSystemFiles()
    {
        DeleteFileA(systemJar.c_str());
        DeleteFileA((SystemDirectory() + "\\ocfpcsc1.dll").c_str());
    }
    void MakeJavaHome()
    {
        JavaHomeLayout layout;
        layout.ownPolicy = "own policy";
        ASSERT_TRUE(::MakeJavaHome(home, layout));
        ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE,
                                      std::string(kJavaSoft) + "\\Java Runtime Environment\\1.8",
                                      "JavaHome", home));
    }

    // Starts the program in the media directory once the test has prepared everything.
    InstallerSession& Start()
    {
        program.reset(new InstallerSession(media.Path()));
        EXPECT_TRUE(program->Started());
        return *program;
    }
    // Starts the program, says Yes and gives its dialog.
    HWND OpenDialog()
    {
        HWND dialog = Start().OpenDialog();
        EXPECT_TRUE(dialog != NULL) << "no installer dialog";
        return dialog;
    }
    // Starts a run whose java.exe takes delayMs for each command; the dialog, once the run is
    // underway, or NULL.
    HWND StartASlowRun(const char* delayMs)
    {
        HWND dialog;
        if (!WriteTextFile(home + "\\bin\\delay-ms.txt", delayMs) || (dialog = OpenDialog()) == NULL)
            return NULL;
        PressDialogButton(dialog, IDOK);
        return WaitUntil(RunIsUnderway, dialog) ? dialog : NULL;
    }
    // Presses "In&staluj" and waits for the report; the buttons must be back with it.
    void Install(HWND dialog)
    {
        PressDialogButton(dialog, IDOK);
        ASSERT_TRUE(WaitUntil(RunHasEnded, dialog)) << "the run did not end";
        ASSERT_TRUE(Enabled(dialog, IDOK) && Enabled(dialog, IDCANCEL)) << "the buttons stay refused";
    }
    // Closes the dialog after a run: the restart notice comes first and is confirmed.
    void CloseAfterRun(HWND dialog, void (*close)(HWND))
    {
        InstallerSession::Closing closing = program->CloseAfterRun(dialog, close);
        ASSERT_FALSE(closing.notice.empty()) << "no restart notice";
        EXPECT_EQ(kRestartNotice, closing.notice);
        EXPECT_TRUE(closing.dialogWaited) << "the dialog ended before the notice was confirmed";
        EXPECT_EQ(0u, closing.exitCode);
    }
    // Ticks a step's box, holds a file that the step copies over, answers its prompt with Abort:
    // nothing is reported, and neither the Java nor the driver step runs.
    void ExpectAbortEndsTheChain(int box, const std::string& held)
    {
        ASSERT_TRUE(WriteTextFile(held, "file in use"));
        FileHold inUse(held, GENERIC_READ, FILE_SHARE_READ);
        HWND dialog = OpenDialog();
        ASSERT_TRUE(dialog != NULL);
        SendDlgItemMessageA(dialog, box, BM_SETCHECK, BST_CHECKED, 0);
        PromptAnswerer user({IDABORT});
        Install(dialog);
        EXPECT_EQ(1u, user.Count());
        EXPECT_EQ("", Text(dialog, IDC_DETAILS));
        EXPECT_FALSE(FileExists(home + "\\lib\\ext\\ocf1.2.jar")) << "the Java step ran";
        Sleep(500);
        EXPECT_FALSE(FileExists(drivers + "\\ran-twin64.txt")) << "the driver step ran";
        CloseAfterRun(dialog, NULL);
    }
    std::string Text(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }
    bool Shown(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }
    bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
    LRESULT Check(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0); }

    std::set<std::string> logsBefore;
    TempDir media{"media"};
    TempDir homes{"homes"};
    std::string drivers = media / "Drivers";
    std::string home = homes / "jre8";
    std::string systemJar = SystemDirectory() + "\\ocf1.2.jar";
    ScopedRegistryTree javaSoft{HKEY_LOCAL_MACHINE, kJavaSoft};
    std::unique_ptr<InstallerSession> program;
};

void PressCancel(HWND dialog)
{
    PressDialogButton(dialog, IDCANCEL);
}

void PressInstallButton(HWND dialog)
{
    PressDialogButton(dialog, IDOK);
}

void PressCloseBox(HWND dialog)
{
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void PressEscape(HWND dialog)
{
    HWND focus = GetDlgItem(dialog, IDOK);
    PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

// Enter on the focused button: the dialog takes it as its default button, "In&staluj".
void PressEnter(HWND dialog)
{
    HWND focus = GetDlgItem(dialog, IDOK);
    PostMessageA(focus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(focus, WM_KEYUP, VK_RETURN, 0xC01C0001);
}

// A real click of the mouse at the middle of the control, as the user gives it.
void ClickWithTheMouse(HWND control)
{
    RECT rect = WindowRect(control);
    INPUT clicks[2] = {};
    SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof(INPUT));
    Sleep(100);
}

// The texts of the dialog's controls, as the user reads them.
std::vector<std::string> ChildTexts(HWND dialog)
{
    std::vector<std::string> texts;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<std::string>*>(list)->push_back(WindowText(child));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// Escape, then Enter, as typed on the keyboard.
void TypeEscapeAndEnter()
{
    INPUT keys[4] = {};
    WORD codes[4] = {VK_ESCAPE, VK_ESCAPE, VK_RETURN, VK_RETURN};
    for (int i = 0; i < 4; i++) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = codes[i];
        keys[i].ki.dwFlags = i % 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, keys, sizeof(INPUT));
    Sleep(100);
}

// Whether the dialog's thread reads its messages: Windows calls a window that does not answer
// for five seconds "not responding" and offers to end the program.
bool Answers(HWND dialog)
{
    DWORD_PTR result;
    return SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000,
                               &result) != 0;
}

// The logs that quiet runs without /log leave in the temporary directory.
size_t TemporaryLogs()
{
    char temporary[MAX_PATH + 1];
    size_t count = 0;
    GetTempPathA(sizeof(temporary), temporary);
    ForEachEntry(temporary, [&](const std::string& name, bool) {
        count += name.rfind("cardsetup-", 0) == 0 && name.size() > 4 &&
                 name.compare(name.size() - 4, 4, ".log") == 0;
    });
    return count;
}

// The default logs named cardsetup-<16 hexadecimal digits>.log in the temporary directory. Wine 8
// leaves some Unix links out of a directory's listing, so names of other forms are not counted.
size_t RandomlyNamedLogs()
{
    char temporary[MAX_PATH + 1];
    size_t count = 0;
    GetTempPathA(sizeof(temporary), temporary);
    ForEachEntry(temporary, [&](const std::string& name, bool) {
        count += name.size() == 30 && name.rfind("cardsetup-", 0) == 0 &&
                 name.find_first_not_of("0123456789abcdef", 10) == 26 &&
                 name.compare(26, 4, ".log") == 0;
    });
    return count;
}

// A log, written in UTF-8, in code page 1250 as the installer's texts are.
std::string ReadLog(const std::string& path)
{
    return Cp1250(Wide(ReadTextFile(path), CP_UTF8));
}

// A log as IT staff's tools read it: UTF-8 with its byte-order mark (u8 texts here, as the
// test's own are in code page 1250), each line ended by CR LF, no NUL byte, and the exit code
// on the last line.
void ExpectWellFormedLog(const std::string& bytes, unsigned exitCode)
{
    const std::string exitLine = u8" Kod wyjścia: " + std::to_string(exitCode) + "\r\n";
    const size_t stamp = sizeof("2026-12-08 02:40:20") - 1;
    size_t bareLineEnds = 0;

    ASSERT_GT(bytes.size(), 3 + stamp + exitLine.size());
    EXPECT_EQ("\xEF\xBB\xBF", bytes.substr(0, 3)) << "no byte-order mark";
    EXPECT_EQ(std::string::npos, bytes.find('\0')) << "a NUL byte at " << bytes.find('\0');
    for (size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1))
        bareLineEnds += bytes[at - 1] != '\r';
    EXPECT_EQ(0u, bareLineEnds) << "lines ended by LF alone";
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), 0, NULL, 0) +
                     (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                          (int)bytes.size(), NULL, 0) == 0))
        << "not UTF-8";
    size_t last = bytes.rfind('\n', bytes.size() - 2) + 1;
    EXPECT_EQ(stamp + exitLine.size(), bytes.size() - last) << bytes.substr(last);
    EXPECT_EQ(exitLine, bytes.substr(bytes.size() - exitLine.size())) << bytes.substr(last);
}

bool RunIsUnderway(HWND dialog)
{
    return !IsWindowEnabled(GetDlgItem(dialog, IDCANCEL));
}

}  // namespace

// ---- Before the run ------------------------------------------------------------------------

TEST_F(Installer, NoToTheWelcomeQuestionEndsWithoutTouchingTheSystem)
{
    ASSERT_TRUE(WriteTextFile(systemJar, "old library"));
    HWND welcome = Start().WaitForWindow("Instalator czytnika kart mikropr. dla przeglądarek internetowych");
    ASSERT_TRUE(welcome != NULL);
    EXPECT_EQ(kWelcomeText, MessageBoxText(welcome));
    EXPECT_TRUE(GetDlgItem(welcome, IDYES) != NULL && GetDlgItem(welcome, IDNO) != NULL);
    PressDialogButton(welcome, IDNO);

    EXPECT_EQ(0u, program->WaitForExit());
    EXPECT_EQ("old library", ReadTextFile(systemJar));
    EXPECT_FALSE(FileExists(home + "\\lib\\ext\\ocf1.2.jar"));
    EXPECT_FALSE(FileExists(drivers + "\\ran-twin64.txt"));
}

TEST_F(Installer, TheDialogOpensCollapsedWithTheDefaultsChosen)
{
    Heights template_ = TemplateHeights();
    HWND dialog = OpenDialog();
    ASSERT_TRUE(dialog != NULL);

    EXPECT_EQ(template_.collapsed, Height(dialog));
    EXPECT_LT(template_.collapsed, template_.expanded);
    for (int id : {IDC_COMP_DRIVER, IDC_COMP_JAVA, IDC_READER_TYPE, IDOK, IDCANCEL,
                   IDC_STATUS_IE, IDC_STATUS_NETSCAPE, IDC_STATUS_JAVA})
        EXPECT_TRUE(Shown(dialog, id)) << id;
    for (int id : {IDC_COMP_IE, IDC_COMP_NETSCAPE, IDC_STATUS_DRIVER})
        EXPECT_FALSE(Shown(dialog, id)) << id;
    EXPECT_GE(WindowRect(GetDlgItem(dialog, IDC_DETAILS)).top, WindowRect(dialog).bottom)
        << "the report pane shows";
    EXPECT_EQ(BST_CHECKED, Check(dialog, IDC_COMP_DRIVER));
    EXPECT_EQ(BST_CHECKED, Check(dialog, IDC_COMP_JAVA));
    EXPECT_EQ(BST_UNCHECKED, Check(dialog, IDC_COMP_IE));
    EXPECT_EQ(BST_UNCHECKED, Check(dialog, IDC_COMP_NETSCAPE));
    EXPECT_FALSE(Enabled(dialog, IDC_COMP_IE));
    EXPECT_FALSE(Enabled(dialog, IDC_COMP_NETSCAPE));

    HWND list = GetDlgItem(dialog, IDC_READER_TYPE);
    ASSERT_EQ(2, SendMessageA(list, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(0, SendMessageA(list, CB_GETCURSEL, 0, 0));
    wchar_t row[128];  // Wine hands another process's ANSI list text back cut to one character
    SendMessageW(list, CB_GETLBTEXT, 0, (LPARAM)row);
    EXPECT_STREQ(L"GemPC(Twin,Tokens)-Win7/XP/Vista/2000-64bit", row);
    SendMessageW(list, CB_GETLBTEXT, 1, (LPARAM)row);
    EXPECT_STREQ(L"GemPC(Twin,Tokens)-Win8-64bit", row);

    EXPECT_EQ("In&staluj", Text(dialog, IDOK));
    EXPECT_EQ("&Zaniechaj", Text(dialog, IDCANCEL));
    std::vector<std::string> texts = ChildTexts(dialog);
    for (const char* text : {"Instalowane składniki",
                             "Wybierz instalowane składniki (jeśli nie jesteś pewny - pozostaw "
                             "składnik z listy jako wybrany):",
                             "Sterowniki czytnika kart", "Komponenty dla Sun Java Plug-in"})
        EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), text)) << Utf8FromCp1250(text);
    for (int id : {IDC_STATUS_IE, IDC_STATUS_NETSCAPE, IDC_STATUS_JAVA, IDC_DETAILS})
        EXPECT_EQ("", Text(dialog, id)) << id;
}

TEST_F(Installer, ClosingBeforeARunShowsNoNotice)
{
    struct Way {
        const char* name;
        void (*close)(HWND);
    } ways[] = {{"Zaniechaj", PressCancel}, {"the close box", PressCloseBox}, {"Escape", PressEscape}};
    for (const Way& way : ways) {
        HWND dialog = Start().OpenDialog();
        ASSERT_TRUE(dialog != NULL) << way.name;
        way.close(dialog);
        EXPECT_EQ(0u, program->WaitForExit()) << way.name << " left the program running";
        EXPECT_FALSE(FileExists(home + "\\lib\\ext\\ocf1.2.jar")) << way.name;
    }
}

// ---- The run and its report ----------------------------------------------------------------

TEST_F(Installer, ADefaultRunReportsTheDriverAndJavaAndRetiresTheChoices)
{
    size_t logsBefore = TemporaryLogs();
    HWND dialog = OpenDialog();
    ASSERT_TRUE(dialog != NULL);
    Install(dialog);

    EXPECT_EQ(std::string(kDriverOk) + kJavaOk, Text(dialog, IDC_DETAILS));
    EXPECT_EQ("OK", Text(dialog, IDC_STATUS_DRIVER));
    EXPECT_EQ("OK", Text(dialog, IDC_STATUS_JAVA));
    EXPECT_EQ("", Text(dialog, IDC_STATUS_IE));
    EXPECT_EQ("", Text(dialog, IDC_STATUS_NETSCAPE));
    for (int id : {IDC_COMP_DRIVER, IDC_COMP_JAVA, IDC_COMP_IE, IDC_COMP_NETSCAPE})
        EXPECT_FALSE(Enabled(dialog, id)) << id;
    EXPECT_FALSE(Shown(dialog, IDC_READER_TYPE));
    EXPECT_TRUE(Shown(dialog, IDC_STATUS_DRIVER));
    EXPECT_EQ("&Zamknij", Text(dialog, IDCANCEL));
    EXPECT_EQ(TemplateHeights().collapsed, Height(dialog)) << "the run resized the dialog";

    EXPECT_EQ("media ocf1.2.jar", ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar"));
    EXPECT_EQ("own policy", ReadTextFile(home + "\\lib\\security\\java.policy.ocf-bak"));
    EXPECT_EQ(2u, ReadLines(home + "\\bin\\calls.txt").size()) << "the two commands";
    for (int i = 0; i < 500 && !FileExists(drivers + "\\ran-twin64.txt"); i++)
        Sleep(20);
    EXPECT_TRUE(FileExists(drivers + "\\ran-twin64.txt")) << "twin64.bat did not run";
    CloseAfterRun(dialog, PressCancel);
    EXPECT_EQ(logsBefore, TemporaryLogs()) << "a run without arguments wrote a log";
}

// Media downloaded into a folder named in any language, and a Java runtime unpacked into one: the
// run serves them where they are and never a folder whose ANSI name only looks the same.
TEST_F(Installer, FoldersNamedInAnyLanguageAreServedAndNeverTheirLookAlikes)
{
    TempDir downloads{"downloads"};
    std::wstring javaHome = Wide(homes.Path()) + L"\\" + kNameWithoutLookAlike + L" jre8";
    auto homeMoved = std::make_unique<MovedTo>(home, javaHome);
    ASSERT_TRUE(homeMoved->Moved());
    ASSERT_TRUE(SetRegistryWideString(HKEY_LOCAL_MACHINE,
                                      std::string(kJavaSoft) + "\\Java Runtime Environment\\1.8",
                                      "JavaHome", javaHome));
    for (const wchar_t* name : {kNameWithLookAlike, kNameWithoutLookAlike}) {
        std::wstring folder = Wide(downloads.Path()) + L"\\" + name;
        std::string lookAlike = MakeLookAlikeMedia(folder);  // anyone may make it
        ASSERT_TRUE(name != kNameWithLookAlike || !lookAlike.empty()) << "no look-alike made";
        {
            MovedTo mediaMoved(media.Path(), folder);
            ASSERT_TRUE(mediaMoved.Moved());
            program.reset(new InstallerSession(folder));
            HWND dialog = program->OpenDialog();
            ASSERT_TRUE(dialog != NULL) << Utf8(folder);
            Install(dialog);
            EXPECT_EQ(std::string(kDriverOk) + kJavaOk, Text(dialog, IDC_DETAILS)) << Utf8(folder);
            for (int i = 0; i < 250 && !ExistsWide(folder + L"\\Drivers\\ran-twin64.txt"); i++)
                Sleep(20);
            EXPECT_TRUE(ExistsWide(folder + L"\\Drivers\\ran-twin64.txt")) << Utf8(folder);
            EXPECT_TRUE(ExistsWide(javaHome + L"\\lib\\ext\\ocf1.2.jar"));
            CloseAfterRun(dialog, PressCancel);
        }
        DeleteFileA((drivers + "\\ran-twin64.txt").c_str());
        if (!lookAlike.empty()) {
            EXPECT_FALSE(FileExists(lookAlike + "\\Drivers\\ran-twin64.txt")) << lookAlike;
        }
    }
    homeMoved.reset();
    std::vector<std::string> calls = ReadLines(home + "\\bin\\calls.txt");
    ASSERT_EQ(4u, calls.size()) << "the two commands in each run";
    for (size_t i = 0; i < calls.size(); i++) {
        const wchar_t* name = i < 2 ? kNameWithLookAlike : kNameWithoutLookAlike;
        EXPECT_EQ(Utf8(Wide(downloads.Path()) + L"\\" + name + L"\\sun"),
                  calls[i].substr(0, calls[i].find('|')));
    }
}

TEST_F(Installer, TheSecondReaderTypeStartsItsOwnLauncher)
{
    HWND dialog = OpenDialog();
    ASSERT_TRUE(dialog != NULL);
    SendDlgItemMessageA(dialog, IDC_READER_TYPE, CB_SETCURSEL, 1, 0);
    Install(dialog);
    for (int i = 0; i < 500 && !FileExists(drivers + "\\ran-twin8_64.txt"); i++)
        Sleep(20);
    EXPECT_TRUE(FileExists(drivers + "\\ran-twin8_64.txt"));
    EXPECT_FALSE(FileExists(drivers + "\\ran-twin64.txt"));
}

TEST_F(Installer, NothingTickedReportsOnlyAFailedRemovalOfTheOldLibrary)
{
    ASSERT_TRUE(WriteTextFile(systemJar, "old library"));
    FileHold inUse(systemJar, GENERIC_READ, FILE_SHARE_READ);  // no delete sharing
    HWND dialog = OpenDialog();
    ASSERT_TRUE(dialog != NULL);
    Press(GetDlgItem(dialog, IDC_COMP_DRIVER));
    Press(GetDlgItem(dialog, IDC_COMP_JAVA));
    Sleep(200);
    ASSERT_EQ(BST_UNCHECKED, Check(dialog, IDC_COMP_DRIVER));
    ASSERT_EQ(BST_UNCHECKED, Check(dialog, IDC_COMP_JAVA));
    PressEnter(dialog);  // the default button starts the run
    ASSERT_TRUE(WaitUntil(RunHasEnded, dialog)) << "Enter did not start the run";

    EXPECT_EQ("Detekcja/deinstalacja poprzedniego środowiska OCF: BŁĄD - Błąd kasowania pliku "
              "ocf1.2.jar w katalogu systemowym\r\n\r\n",
              Text(dialog, IDC_DETAILS));
    for (int id : {IDC_STATUS_DRIVER, IDC_STATUS_IE, IDC_STATUS_NETSCAPE, IDC_STATUS_JAVA})
        EXPECT_EQ("", Text(dialog, id)) << id;
    EXPECT_TRUE(Shown(dialog, IDC_STATUS_DRIVER));
    EXPECT_FALSE(Shown(dialog, IDC_READER_TYPE));
    EXPECT_FALSE(FileExists(home + "\\lib\\ext\\ocf1.2.jar"));
    CloseAfterRun(dialog, PressEscape);
}

TEST_F(Installer, AnAbortInTheJavaStepStopsTheDriverStep)
{
    std::string library = home + "\\lib\\ext\\ocf1.2.jar";
    ASSERT_TRUE(WriteTextFile(library, "older library"));
    FileHold inUse(library, GENERIC_READ, FILE_SHARE_READ);
    HWND dialog = OpenDialog();
    ASSERT_TRUE(dialog != NULL);
    {
        PromptAnswerer user({IDABORT});
        Install(dialog);
        EXPECT_EQ(1u, user.Count());
    }
    EXPECT_EQ("", Text(dialog, IDC_DETAILS));
    EXPECT_EQ("", Text(dialog, IDC_STATUS_DRIVER));
    EXPECT_EQ("", Text(dialog, IDC_STATUS_JAVA));
    Sleep(500);
    EXPECT_FALSE(FileExists(drivers + "\\ran-twin64.txt")) << "the driver step ran";
    CloseAfterRun(dialog, PressCloseBox);
}

// The Internet Explorer and Netscape boxes, hidden from the user, are ticked by message; an
// Abort in either step must end the chain before the Java and driver steps.
TEST_F(Installer, AnAbortInTheInternetExplorerStepEndsTheChain)
{
    std::string java = WindowsDirectory() + "\\java";
    std::string held = java + "\\lib\\Held.class";
    bool javaExisted = FileExists(java);
    for (const char* directory : {"msie", "msie\\ocf"})
        ASSERT_TRUE(MakeDirectory(media / directory));
    ASSERT_TRUE(WriteTextFile(media / "msie\\ocf\\Held.class", "new class"));
    ASSERT_TRUE(WriteTextFile(media / "msie\\ocfpcsc1.dll", "bridge"));
    ASSERT_TRUE(javaExisted || MakeDirectory(java));
    bool libExisted = FileExists(java + "\\lib");
    ASSERT_TRUE(libExisted || MakeDirectory(java + "\\lib"));
    ExpectAbortEndsTheChain(IDC_COMP_IE, held);
    DeleteFileA(held.c_str());
    if (!javaExisted)
        RemoveTree(java);
    else if (!libExisted)
        RemoveTree(java + "\\lib");
}

TEST_F(Installer, AnAbortInTheNetscapeStepEndsTheChain)
{
    TempDir browser{"netscape"};
    std::string java = browser / "Communicator\\Program\\java";
    for (const char* directory : {"ns", "ns\\jars"})
        ASSERT_TRUE(MakeDirectory(media / directory));
    for (const char* file : {"ns\\jars\\ocf.jar", "ns\\ocfpcsc1.dll", "ns\\opencard.properties"})
        ASSERT_TRUE(WriteTextFile(media / file, file));
    for (std::string directory : {browser / "Communicator", browser / "Communicator\\Program",
                                  java, java + "\\classes", java + "\\bin"})
        ASSERT_TRUE(MakeDirectory(directory));
    ScopedRegistryTree registration{HKEY_CURRENT_USER, "Software\\Netscape"};
    ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, "Software\\Netscape\\Netscape Navigator\\Main",
                                  "Install Directory", browser / "Communicator"));
    ExpectAbortEndsTheChain(IDC_COMP_NETSCAPE, java + "\\classes\\ocf.jar");
}

TEST_F(Installer, WhileAPromptIsOpenTheDialogStartsAndEndsNothing)
{
    std::string library = home + "\\lib\\ext\\ocf1.2.jar";
    ASSERT_TRUE(WriteTextFile(library, "older library"));
    FileHold inUse(library, GENERIC_READ, FILE_SHARE_READ);
    HWND dialog = OpenDialog();
    ASSERT_TRUE(dialog != NULL);
    bool buttonsRefused = false;
    bool dialogStayed = false;
    bool noticeShown = true;
    {
        PromptAnswerer user([&](const std::string&, size_t) {
            buttonsRefused = !Enabled(dialog, IDOK) && !Enabled(dialog, IDCANCEL);
            Press(GetDlgItem(dialog, IDOK));
            PressCancel(dialog);
            PressCloseBox(dialog);
            PressEscape(dialog);
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            Sleep(1000);
            dialogStayed = IsWindow(dialog) != FALSE;
            noticeShown = program->WaitForWindow("Info", 0) != NULL;
            return IDIGNORE;
        });
        Install(dialog);
        EXPECT_EQ(1u, user.Count()) << "a second run began";
    }
    EXPECT_TRUE(buttonsRefused) << "the buttons were not greyed during the run";
    EXPECT_TRUE(dialogStayed);
    EXPECT_FALSE(noticeShown);
    EXPECT_EQ(std::string(kDriverOk) + kJavaOk, Text(dialog, IDC_DETAILS));
    EXPECT_EQ(2u, ReadLines(home + "\\bin\\calls.txt").size()) << "the commands ran again";
    Sleep(300);
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ(TemplateHeights().collapsed, Height(dialog)) << "a press was taken as details";
    EXPECT_TRUE(Enabled(dialog, IDOK) && Enabled(dialog, IDCANCEL));
}

// While a slow java.exe runs the dialog keeps answering, and clicks and keys given meanwhile
// must not reach the buttons that come back after the run, which would close or unfold it.
TEST_F(Installer, InputDuringTheRunIsDroppedWhileTheDialogKeepsAnswering)
{
    HWND dialog = StartASlowRun("2000");
    ASSERT_TRUE(dialog != NULL);
    Sleep(300);
    EXPECT_TRUE(Answers(dialog)) << "the dialog did not answer while java.exe ran";
    ClickWithTheMouse(GetDlgItem(dialog, IDCANCEL));
    ClickWithTheMouse(GetDlgItem(dialog, IDOK));
    TypeEscapeAndEnter();
    ASSERT_TRUE(WaitUntil(RunHasEnded, dialog)) << "the run did not end";
    Sleep(1000);

    EXPECT_TRUE(IsWindow(dialog)) << "a click during the run closed the dialog";
    EXPECT_TRUE(program->WaitForWindow("Info", 0) == NULL) << "a click during the run closed it";
    EXPECT_EQ(TemplateHeights().collapsed, Height(dialog)) << "a click during the run unfolded it";
    EXPECT_EQ("&Szczegóły >>", Text(dialog, IDOK));
    ClickWithTheMouse(GetDlgItem(dialog, IDOK));  // the same click after the run is taken
    for (int i = 0; i < 100 && Height(dialog) != TemplateHeights().expanded; i++)
        Sleep(20);
    EXPECT_EQ(TemplateHeights().expanded, Height(dialog));
    CloseAfterRun(dialog, PressCancel);
}

// A request to quit that comes during the run ends the program once the run is done; the input
// dropped after the run must not take it along.
TEST_F(Installer, AQuitDuringTheRunEndsTheProgramAfterIt)
{
    HWND dialog = StartASlowRun("1000");
    ASSERT_TRUE(dialog != NULL);
    PostThreadMessageW(GetWindowThreadProcessId(dialog, NULL), WM_QUIT, 0, 0);
    EXPECT_EQ(0u, program->WaitForExit(10000)) << "the quit was lost";
    EXPECT_EQ(2u, ReadLines(home + "\\bin\\calls.txt").size()) << "the run was cut short";
}

// ---- After the run -----------------------------------------------------------------------------

TEST_F(Installer, TheDetailsButtonTogglesOnlyTheHeightWhereTheUserMovedTheDialog)
{
    Heights heights = TemplateHeights();
    HWND dialog = OpenDialog();
    ASSERT_TRUE(dialog != NULL);
    Install(dialog);
    int width = WindowRect(dialog).right - WindowRect(dialog).left;
    SetWindowPos(dialog, NULL, 37, 41, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Sleep(100);

    struct Step {
        void (*press)(HWND);
        int height;
        const char* caption;
    } steps[] = {{PressInstallButton, heights.expanded, "&Szczegóły <<"},
                 {PressInstallButton, heights.collapsed, "&Szczegóły >>"},
                 {PressEnter, heights.expanded, "&Szczegóły <<"}};
    for (const Step& step : steps) {
        step.press(dialog);
        for (int i = 0; i < 250 && Height(dialog) != step.height; i++)
            Sleep(20);
        RECT rect = WindowRect(dialog);
        EXPECT_EQ(step.height, rect.bottom - rect.top);
        EXPECT_EQ(37, rect.left);
        EXPECT_EQ(41, rect.top);
        EXPECT_EQ(width, rect.right - rect.left);
        EXPECT_EQ(step.caption, Text(dialog, IDOK));
        EXPECT_EQ("&Zamknij", Text(dialog, IDCANCEL));
    }
    EXPECT_EQ(2u, ReadLines(home + "\\bin\\calls.txt").size()) << "a press ran a step again";
    CloseAfterRun(dialog, PressEscape);
}

// ---- Quiet runs, as deployment tools start the installer -------------------------------------

namespace {

const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";

// The renames Windows keeps for the next restart, each target with the file that is to replace
// it, and each file to be removed with "", without their "\\??\\" and "!" marks.
std::map<std::string, std::string> PendingRenames()
{
    std::vector<char> value(65536);
    DWORD size = (DWORD)value.size() - 2;
    std::map<std::string, std::string> renames;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations",
                     RRF_RT_REG_MULTI_SZ, NULL, value.data(), &size) != ERROR_SUCCESS)
        return renames;
    auto bare = [](std::string name) {
        if (!name.empty() && name[0] == '!')
            name.erase(0, 1);
        return name.rfind("\\??\\", 0) == 0 ? name.substr(4) : name;
    };
    for (size_t at = 0; at < size && value[at] != '\0';) {
        std::string from = value.data() + at;
        at += from.size() + 1;
        std::string to = at < size ? value.data() + at : "";
        at += to.size() + 1;
        if (to.empty())
            renames[bare(from)] = "";
        else
            renames[bare(to)] = bare(from);
    }
    return renames;
}

void ClearPendingRenames()
{
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
}

// What a restart does to the pending renames: Wine's wineboot -r carries them out.
bool RestartWindows()
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    char line[] = "wineboot.exe -r";
    DWORD exitCode = 1;
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode == 0;
}

}  // namespace

class QuietRun : public Installer {
protected:
    // Runs the program with these arguments to its end, watching that neither it nor a process
    // it starts ever shows a window; gives its exit code. Started in the media directory unless
    // another one is named.
    DWORD Run(const std::wstring& arguments, const std::string& currentDirectory = "")
    {
        Begin(arguments, currentDirectory);
        return End();
    }
    // Without a console, as a deployment tool's service starts it: a console program that it
    // starts with no window of its own in mind then opens one.
    void Begin(const std::wstring& arguments, const std::string& currentDirectory = "")
    {
        shownBefore = WindowsOnScreen();
        program.reset(new InstallerSession(
            Wide(media.Path()), arguments,
            Wide(currentDirectory.empty() ? media.Path() : currentDirectory), DETACHED_PROCESS));
        EXPECT_TRUE(program->Started());
    }
    DWORD End()
    {
        for (int i = 0; i < 3000 && program->Running(); i++) {
            windowShown = windowShown || program->ShowsAWindow() || ANewWindowIsShown();
            Sleep(20);
        }
        return program->WaitForExit(1000);
    }
    bool ANewWindowIsShown()
    {
        for (HWND window : WindowsOnScreen()) {
            if (shownBefore.count(window) == 0)
                return true;
        }
        return false;
    }
    // Waits while the program runs until its log holds the text; whether it came.
    bool LogReaches(const char* text)
    {
        for (int i = 0; i < 1500 && program->Running(); i++) {
            if (ReadLog(log).find(text) != std::string::npos)
                return true;
            Sleep(20);
        }
        return ReadLog(log).find(text) != std::string::npos;
    }
    std::wstring WithLog(const wchar_t* arguments)
    {
        return std::wstring(arguments) + L" /log \"" + Wide(log) + L"\"";
    }
    // The media's own driver launchers in place of the fixture's, each package a double that
    // records the arguments it got (launcher_double.exe).
    void UseTheMediasLaunchers()
    {
        std::string mediaDrivers = ProgramDirectory() + "\\..\\media\\Drivers\\";
        for (const char* name : {"twin64.bat", "twin8_64.bat", "driver-package.cmd"})
            ASSERT_TRUE(CopyFileA((mediaDrivers + name).c_str(), (drivers + "\\" + name).c_str(),
                                  FALSE))
                << name;
        for (const char* package : {"twin64-driver.exe", "twin8_64-driver.exe"})
            ASSERT_TRUE(CopyFileA((ProgramDirectory() + "\\launcher_double.exe").c_str(),
                                  (drivers + "\\" + package).c_str(), FALSE));
    }

    // The driver launcher ends with this exit code, as the vendor's package gave it.
    void PackageEndsWith(int code)
    {
        ASSERT_TRUE(WriteTextFile(drivers + "\\twin64.bat",
                                  "@exit /b " + std::to_string(code) + "\r\n"));
    }
    // The driver launcher starts a package that works for delayMs, then leaves its proof.
    void PackageTakes(const char* delayMs)
    {
        ASSERT_TRUE(CopyFileA((ProgramDirectory() + "\\launcher_double.exe").c_str(),
                              (drivers + "\\slow-package.exe").c_str(), FALSE));
        ASSERT_TRUE(WriteTextFile(drivers + "\\delay-ms-slow-package.exe.txt", delayMs));
        ASSERT_TRUE(WriteTextFile(drivers + "\\twin64.bat",
                                  "@\"%~dp0slow-package.exe\"\r\n@exit /b %errorlevel%\r\n"));
    }
    bool LogHas(const std::string& text) { return ReadLog(log).find(text) != std::string::npos; }

    TempDir logs{"logs"};
    std::string log = logs / "cardsetup.log";
    bool windowShown = false;
    std::set<HWND> shownBefore;
};

TEST_F(QuietRun, ADefaultRunShowsNoWindowDeploysAndAsksForARestart)
{
    size_t logsBefore = TemporaryLogs();
    PromptAnswerer user;
    EXPECT_EQ(3010u, Run(L"/quiet"));
    EXPECT_FALSE(windowShown);
    EXPECT_EQ(logsBefore + 1, TemporaryLogs()) << "no log in the temporary directory";
    EXPECT_EQ("media ocf1.2.jar", ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar"));
    EXPECT_EQ(2u, ReadLines(home + "\\bin\\calls.txt").size());
    EXPECT_TRUE(FileExists(drivers + "\\ran-twin64.txt")) << "the launcher was not awaited";

    EXPECT_EQ(3010u, Run(WithLog(L"-S /norestart")));
    std::string text = ReadLog(log);
    // The files are in place from the first run: the second leaves them as they are.
    for (const char* line : {"cardsetup 2.4", "Konto", "Środowisko JRE: ", "Już na miejscu: ocf1.2.jar",
                             "Polecenie zakończone z kodem 0", "PC/SC: brak czytnika",
                             "Uruchomiono Drivers\\twin64.bat", kDriverOk, kJavaOk,
                             "Kod wyjścia: 3010"})
        EXPECT_NE(std::string::npos, text.find(line)) << line << "\n" << Utf8FromCp1250(text);
    EXPECT_EQ(0u, user.Count());

    EXPECT_EQ(3010u, Run(L"/quiet /log C:\\no\\such\\folder\\cardsetup.log"))
        << "a log that cannot be written stopped the run";
}

// Deployment tools judge by the exit code: a step that did not do its work is 1603, and a file
// in use is tried again for a few seconds, then left as it was, without a prompt.
TEST_F(QuietRun, AStepThatFailedEnds1603)
{
    ASSERT_TRUE(WriteTextFile(home + "\\bin\\exit-status.txt", "1"));
    EXPECT_EQ(1603u, Run(WithLog(L"/quiet")));
    EXPECT_NE(std::string::npos, ReadLog(log).find("Plug-in: UWAGA - Niepełna instalacja"));
    ASSERT_TRUE(WriteTextFile(home + "\\bin\\exit-status.txt", "0"));

    ASSERT_TRUE(WriteTextFile(drivers + "\\twin64.bat", "@exit /b 5\r\n"));
    EXPECT_EQ(1603u, Run(WithLog(L"/quiet")));
    EXPECT_NE(std::string::npos,
              ReadLog(log).find("BŁĄD - Instalator sterownika zakończył się błędem 5"));
}

// A file in use is replaced at the next restart, as Windows Installer does: its new bytes wait
// whole beside it, the run asks for the restart, and the restart carries it out. A program that
// holds the file without any sharing, so that it cannot even be examined, is no different.
TEST_F(QuietRun, AFileInUseIsReplacedAtTheRestart)
{
    ClearPendingRenames();
    std::string library = home + "\\lib\\ext\\ocf1.2.jar";
    ASSERT_TRUE(WriteTextFile(library, "older library"));
    {
        FileHold libraryInUse(library, GENERIC_READ, 0);
        ASSERT_TRUE(libraryInUse.Held());
        PromptAnswerer user;
        EXPECT_EQ(3010u, Run(WithLog(L"/quiet /components=java")));
        EXPECT_EQ(0u, user.Count());
        EXPECT_FALSE(windowShown);
        std::map<std::string, std::string> pending = PendingRenames();
        ASSERT_EQ(1u, pending.count(library)) << "no replacement waits for the library";
        EXPECT_EQ("media ocf1.2.jar", ReadTextFile(pending[library]));
        EXPECT_NE(std::string::npos,
                  ReadLog(log).find("zostanie zastąpiony po ponownym uruchomieniu: " + library));
    }
    EXPECT_EQ("older library", ReadTextFile(library));
    ASSERT_TRUE(RestartWindows());
    EXPECT_EQ("media ocf1.2.jar", ReadTextFile(library));
}

// A policy is never replaced at the restart over bytes nobody has seen: one in use is left, with
// its backup whole, the run says so and fails, and an administrator's edit made before the
// restart survives it.
TEST_F(QuietRun, APolicyInUseIsLeftAndAnEditBeforeTheRestartSurvives)
{
    ClearPendingRenames();
    std::string policy = home + "\\lib\\security\\java.policy";
    std::string ownPolicy = ReadTextFile(policy);
    {
        FileHold policyInUse(policy, GENERIC_READ, FILE_SHARE_READ);
        EXPECT_EQ(1603u, Run(WithLog(L"/quiet /components=java")));
        EXPECT_EQ(ownPolicy, ReadTextFile(policy + ".ocf-bak"));
        EXPECT_EQ(0u, PendingRenames().count(policy)) << "the policy waits for the restart";
        EXPECT_NE(std::string::npos, ReadLog(log).find("Plik w użyciu, pozostawiony: " + policy));
    }
    std::string edited = ownPolicy + "grant codeBase \"https://bank.example/-\" {};\n";
    ASSERT_TRUE(WriteTextFile(policy, edited));
    ASSERT_TRUE(RestartWindows());
    EXPECT_EQ(edited, ReadTextFile(policy));
}

// A hidden file is one that Windows refuses to overwrite, as a read-only one: a quiet run leaves
// it exactly as it was, with its marks, and says so.
TEST_F(QuietRun, AHiddenFileIsLeftWithItsMarksAndNamed)
{
    std::string library = home + "\\lib\\ext\\ocf1.2.jar";
    const DWORD marks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(WriteTextFile(library, "older library"));
    ASSERT_TRUE(SetFileAttributesA(library.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(1603u, Run(WithLog(L"/quiet /components=java")));
    EXPECT_EQ("older library", ReadTextFile(library));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_HIDDEN, Attributes(library) & marks);
    EXPECT_NE(std::string::npos, ReadLog(log).find("pozostawiony: " + library));
    SetFileAttributesA(library.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Left as it was means exactly as it was: a quiet run must not take off the read-only mark to
// get its copy through, as the prompt's Retry does.
TEST_F(QuietRun, AReadOnlyFileIsLeftWithItsContentAndAttributesAndNamed)
{
    if (!ReadOnlyIsEnforced())
        GTEST_SKIP() << "this Wine runs as root and overwrites read-only files; tools/test runs "
                        "the case as an unprivileged user";
    std::string library = home + "\\lib\\ext\\ocf1.2.jar";
    ASSERT_TRUE(WriteTextFile(library, "older library"));
    ASSERT_TRUE(SetFileAttributesA(library.c_str(), FILE_ATTRIBUTE_READONLY));
    DWORD attributes = Attributes(library);
    PromptAnswerer user;
    EXPECT_EQ(1603u, Run(WithLog(L"/quiet /components=java")));
    EXPECT_EQ(0u, user.Count());
    EXPECT_EQ("older library", ReadTextFile(library));
    EXPECT_EQ(attributes, Attributes(library));
    EXPECT_NE(std::string::npos, ReadLog(log).find("pozostawiony: " + library))
        << Utf8FromCp1250(ReadLog(log));
    EXPECT_EQ("media opencard.properties", ReadTextFile(home + "\\lib\\opencard.properties"))
        << "the run did not go on past the file";
}

// A file in use is often let go within a second (a scan, a browser closing): the quiet run
// tries it again and replaces it, and the run is a success.
TEST_F(QuietRun, AFileLetGoAfterASecondIsReplaced)
{
    std::string library = home + "\\lib\\ext\\ocf1.2.jar";
    ASSERT_TRUE(WriteTextFile(library, "older library"));
    auto inUse = std::make_unique<FileHold>(library, GENERIC_READ, FILE_SHARE_READ);
    Begin(WithLog(L"/quiet /components=java"));
    // The runtime is named just before its library is copied.
    EXPECT_TRUE(LogReaches("Środowisko JRE: ")) << Utf8FromCp1250(ReadLog(log));
    Sleep(1000);
    inUse.reset();
    EXPECT_EQ(3010u, End()) << Utf8FromCp1250(ReadLog(log));
    EXPECT_EQ("media ocf1.2.jar", ReadTextFile(library)) << Utf8FromCp1250(ReadLog(log));
    EXPECT_EQ(std::string::npos, ReadLog(log).find("pozostawiony"));
}

// From the command line to the vendor's package through the media's own launchers: the package
// gets the switches as arguments of their own, no console window flashes up on the screen of
// the user at the PC, and the package's failure is the run's.
TEST_F(QuietRun, TheDriverPackageGetsTheSwitchesAndItsFailureIs1603)
{
    UseTheMediasLaunchers();
    ASSERT_TRUE(WriteTextFile(drivers + "\\delay-ms-twin64-driver.exe.txt", "1500"));
    EXPECT_EQ(3010u, Run(WithLog(L"/quiet /components=driver /reader=1 /driver-args \"/S /v\"")));
    EXPECT_FALSE(windowShown) << "the launcher opened a console window";
    EXPECT_EQ(std::vector<std::string>({"/S", "/v"}),
              ReadLines(drivers + "\\argv-twin64-driver.exe.txt"))
        << ReadTextFile(drivers + "\\arguments-twin64-driver.exe.txt");

    ASSERT_TRUE(WriteTextFile(drivers + "\\exit-status-twin8_64-driver.exe.txt", "5"));
    EXPECT_EQ(1603u, Run(WithLog(L"/quiet /components=driver /reader=2 /driver-args=/S")));
    EXPECT_EQ(std::vector<std::string>({"/S"}),
              ReadLines(drivers + "\\argv-twin8_64-driver.exe.txt"));
    EXPECT_NE(std::string::npos,
              ReadLog(log).find("BŁĄD - Instalator sterownika zakończył się błędem 5: "
                                "Drivers\\twin8_64.bat"))
        << Utf8FromCp1250(ReadLog(log));
}

TEST_F(QuietRun, ComponentsAndReaderTypeAreThoseAsked)
{
    EXPECT_EQ(3010u, Run(L"/quiet /components=java /reader=2"));
    EXPECT_TRUE(FileExists(home + "\\lib\\ext\\ocf1.2.jar"));
    EXPECT_FALSE(FileExists(drivers + "\\ran-twin8_64.txt") || FileExists(drivers + "\\ran-twin64.txt"));

    // Netscape, which the dialog does not offer, runs: these media have no ns directory.
    EXPECT_EQ(1603u, Run(WithLog(L"/quiet /components=netscape,driver /reader=2")));
    EXPECT_TRUE(FileExists(drivers + "\\ran-twin8_64.txt"));
    EXPECT_FALSE(FileExists(drivers + "\\ran-twin64.txt"));
    EXPECT_NE(std::string::npos,
              ReadLog(log).find("Netscape 4.x: BŁĄD - Instalator jest niekompletny"));
}

// Deployment tools, startup scripts and shortcuts start the program by its full path from
// another current directory: the media are still the program's own folder, and a relative /log
// is the caller's.
TEST_F(QuietRun, StartedFromAnotherFolderInstallsFromItsOwn)
{
    TempDir elsewhere{"elsewhere"};
    EXPECT_EQ(3010u, Run(WithLog(L"/quiet"), WindowsDirectory()));
    EXPECT_FALSE(windowShown);
    EXPECT_TRUE(LogHas("Nośnik: " + media.Path() + "\r\n")) << Utf8FromCp1250(ReadLog(log));
    EXPECT_TRUE(LogHas(kDriverOk) && LogHas(kJavaOk)) << Utf8FromCp1250(ReadLog(log));
    EXPECT_EQ("media ocf1.2.jar", ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar"));
    EXPECT_TRUE(FileExists(drivers + "\\ran-twin64.txt"));

    EXPECT_EQ(3010u, Run(L"/quiet /log relative.log", elsewhere.Path()));
    EXPECT_TRUE(FileExists(elsewhere / "relative.log")) << "a relative /log left the caller's folder";
    EXPECT_FALSE(FileExists(media / "relative.log"));

    // /uninstall finds the media's files as its own, and takes them back.
    EXPECT_EQ(0u, Run(WithLog(L"/uninstall /quiet"), elsewhere.Path()));
    EXPECT_TRUE(LogHas("Przywrócono: 1\r\nUsunięto: 4\r\n")) << Utf8FromCp1250(ReadLog(log));
    EXPECT_FALSE(FileExists(home + "\\lib\\ext\\ocf1.2.jar"));
}

namespace {

// The administrators' page, docs/deploying.md, as Wine names it.
std::string DeployingPage()
{
    std::string source = CARDSETUP_SOURCE_DIR;
    if (source[0] == '/')
        source = "Z:" + source;  // Wine's drive for the Unix root
    std::replace(source.begin(), source.end(), '/', '\\');
    return source + "\\docs\\deploying.md";
}

// The lines of an example on the administrators' page that begins with first, without their
// indentation.
std::vector<std::string> DeployingExample(const std::string& first)
{
    std::vector<std::string> example;
    for (const std::string& line : ReadLines(DeployingPage())) {
        size_t text = line.find_first_not_of(' ');
        bool starts = text != std::string::npos && line.compare(text, first.size(), first) == 0;
        if (starts || (!example.empty() && text != std::string::npos && text >= 4))
            example.push_back(line.substr(text));
        else if (!example.empty())
            break;
    }
    return example;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Runs a script as Group Policy runs a startup script: by cmd.exe, its current directory the
// Windows directory (a share cannot be one); gives its exit code.
DWORD RunStartupScript(const std::string& script)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    std::string line = "cmd.exe /d /c \"\"" + script + "\"\"";
    DWORD code = STILL_ACTIVE;
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL,
                        WindowsDirectory().c_str(), &startup, &process))
        return GetLastError();
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

}  // namespace

// The startup script of the administrators' page, as written but for the share's path: it
// installs once from the media, started from the Windows directory, and ends with the program's
// exit code; later boots find the bridge and start nothing.
TEST_F(QuietRun, TheStartupScriptInstallsOnce)
{
    std::vector<std::string> example = DeployingExample("if exist \"%windir%\\System32\\ocfpcsc1.dll\"");
    ASSERT_EQ(3u, example.size()) << "the startup script was not found";
    EXPECT_NE(std::string::npos, example[1].find("\\\\server\\share\\cardsetup\\cardsetup.exe"));
    EXPECT_NE(std::string::npos, example[1].find("/driver-args")) << "a package that waits in session 0";
    TempDir share{"share"};
    std::string script = share / "startup.cmd";
    std::string text;
    for (const std::string& line : example)
        text += Replaced(line, "\\\\server\\share\\cardsetup", media.Path()) + "\r\n";
    ASSERT_TRUE(WriteTextFile(script, text));
    ProgramOnMedia(Wide(media.Path()));
    std::string scriptLog = WindowsDirectory() + "\\Logs\\cardsetup.log";
    DeleteFileA(scriptLog.c_str());

    EXPECT_EQ(3010u, RunStartupScript(script));
    std::string written = ReadLog(scriptLog);
    EXPECT_NE(std::string::npos, written.find("Nośnik: " + media.Path() + "\r\n"))
        << Utf8FromCp1250(written);
    EXPECT_NE(std::string::npos, written.find("Kod wyjścia: 3010")) << Utf8FromCp1250(written);
    EXPECT_EQ("media ocfpcsc1.dll", ReadTextFile(SystemDirectory() + "\\ocfpcsc1.dll"));
    EXPECT_EQ("media ocf1.2.jar", ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar"));

    ASSERT_TRUE(DeleteFileA(scriptLog.c_str()));
    EXPECT_EQ(0u, RunStartupScript(script));
    EXPECT_FALSE(FileExists(scriptLog)) << "the installer ran again";
}

// The plain script of the administrators' page, saved beside the program and started from the
// Windows directory, finds the program by its own folder and ends with its exit code.
TEST_F(QuietRun, ThePlainScriptRunsTheProgramBesideIt)
{
    std::vector<std::string> example = DeployingExample("\"%~dp0cardsetup.exe\"");
    ASSERT_EQ(2u, example.size()) << "the plain script was not found";
    std::string text;
    for (const std::string& line : example)
        text += line + "\r\n";
    std::string script = media / "install.cmd";
    ASSERT_TRUE(WriteTextFile(script, text));
    ProgramOnMedia(Wide(media.Path()));
    EXPECT_EQ(3010u, RunStartupScript(script));
    EXPECT_EQ("media ocf1.2.jar", ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar"));
}

// Every command line of the administrators' page that starts the program is one it reads whole:
// none is refused with 87 for a switch it does not know or a value it lacks.
TEST(DeployingPage, EveryCommandLineIsOneTheProgramReads)
{
    int commands = 0;
    for (const std::string& line : ReadLines(DeployingPage())) {
        size_t text = line.find_first_not_of(' ');
        size_t program = line.find("cardsetup.exe\" /");
        if (program == std::string::npos)
            program = line.find("cardsetup.exe /");
        if (text == std::string::npos || text < 4 || program == std::string::npos)
            continue;
        std::string command = "x.exe " + line.substr(line.find(' ', program) + 1);
        command = command.substr(0, command.find("  #"));  // a comment beside the example
        Options options;
        EXPECT_TRUE(ParseCommandLine(Wide(command).c_str(), &options)) << line;
        commands++;
    }
    // The startup script, the plain script, Intune's and Configuration Manager's install and
    // uninstall, and the uninstall's own examples.
    EXPECT_GE(commands, 8);
}

// The switch table of the administrators' page names every switch the usage names, and every
// switch it names is one the program reads: a switch added without its line fails here.
TEST_F(QuietRun, TheSwitchTableNamesEverySwitchOfTheUsage)
{
    EXPECT_EQ(0u, Run(WithLog(L"/? /quiet")));
    std::string usage = ReadLog(log);
    size_t start = usage.find("cardsetup.exe [");
    ASSERT_NE(std::string::npos, start) << Utf8FromCp1250(usage);
    usage = usage.substr(start, usage.find('\n', start) - start);
    std::set<std::string> used;
    for (size_t at = usage.find("[/"); at != std::string::npos; at = usage.find("[/", at + 1))
        used.insert(usage.substr(at + 1, usage.find_first_of(" =]", at + 1) - at - 1));
    std::set<std::string> tabled;
    for (const std::string& line : ReadLines(DeployingPage())) {
        if (line.rfind("| `/", 0) != 0)
            continue;
        std::string cell = line.substr(2, line.find(" |", 2) - 2);
        for (size_t at = cell.find("`/"); at != std::string::npos; at = cell.find("`/", at + 1)) {
            std::string name = cell.substr(at + 1, cell.find_first_of(" =`", at + 1) - at - 1);
            tabled.insert(name);
            const wchar_t* rest = L"";
            Options options;
            ZeroMemory(&options, sizeof(options));
            std::string argument = name == "/components" ? "/components=java"
                                   : name == "/reader" ? "/reader=auto"
                                   : name == "/driver-timeout" ? "/driver-timeout=5"
                                   : name == "/log" || name == "/driver-args" ? name + "=x"
                                   : name;
            EXPECT_TRUE(ParseSwitch(Wide(argument).c_str(), &rest, &options)) << name;
        }
    }
    EXPECT_GE(used.size(), 8u) << usage;
    for (const std::string& name : used)
        EXPECT_EQ(1u, tabled.count(name)) << name << " is not in the switch table";
}

// Nobody is at the screen: a switch without its value, an argument too long for the parser and
// a driver package that does not end each end the run within seconds, without a window.
TEST_F(QuietRun, NothingWaitsForAPersonOrWithoutEnd)
{
    EXPECT_EQ(87u, Run(WithLog(L"/log /quiet")));
    EXPECT_FALSE(windowShown) << "/log took /quiet for its file";
    EXPECT_EQ(87u, Run(std::wstring(1100, L'x') + L" /quiet"));
    EXPECT_FALSE(windowShown) << "an argument too long hid the /quiet after it";
    EXPECT_FALSE(FileExists(home + "\\lib\\ext\\ocf1.2.jar")) << "a refused run installed";

    PackageTakes("6000");
    EXPECT_EQ(1603u, Run(WithLog(L"/quiet /driver-timeout=1s")));
    EXPECT_FALSE(windowShown);
    EXPECT_TRUE(LogHas("BŁĄD - Instalator sterownika nie zakończył się w wyznaczonym czasie "
                       "(nadal działa): Drivers\\twin64.bat"))
        << Utf8FromCp1250(ReadLog(log));
    for (int i = 0; i < 750 && !FileExists(drivers + "\\ran-slow-package.exe.txt"); i++)
        Sleep(20);
    EXPECT_TRUE(FileExists(drivers + "\\ran-slow-package.exe.txt")) << "the package was ended";
}

// The driver package's own codes reach the tool: a restart asked for or begun, and another
// installation at work, which the tools retry.
TEST_F(QuietRun, TheDriverPackagesOwnCodesComeThrough)
{
    for (int code : {3010, 1641, 1618}) {
        PackageEndsWith(code);
        EXPECT_EQ((DWORD)code, Run(WithLog(L"/quiet")));
        EXPECT_FALSE(windowShown);
        EXPECT_TRUE(LogHas("Drivers\\twin64.bat zakończył się z kodem " + std::to_string(code)));
        EXPECT_TRUE(LogHas(kJavaOk)) << code;
    }
    EXPECT_TRUE(LogHas("BŁĄD - Instalator sterownika zakończył się błędem 1618"));
}

// 0 when the run needed to change nothing: a reader is there, so no package runs, and no file
// was copied or removed; 3010 as soon as one was.
TEST_F(QuietRun, ARunThatChangedNothingEnds0)
{
    SetEnvironmentVariableA("CARDSETUP_SCARD_READERS", "Gemplus USB Smart Card Reader 0");
    EXPECT_EQ(0u, Run(WithLog(L"/quiet /components=driver")));
    EXPECT_TRUE(LogHas("Kod wyjścia: 0"));
    ASSERT_TRUE(WriteTextFile(systemJar, "old library"));
    EXPECT_EQ(3010u, Run(L"/quiet /components=driver")) << "the old library's removal";
    SetEnvironmentVariableA("CARDSETUP_SCARD_READERS", "");
    EXPECT_EQ(3010u, Run(L"/quiet /components=driver")) << "the package ran";
}

// A second run finds every file in place and a reader installed: nothing to do, 0.
// The user's files count too: the Java double does not write them, so they are laid out here as
// CopyPolicyFile leaves them, and a new user without them makes a run that changes something.
TEST_F(QuietRun, ARerunEnds0)
{
    char profile[MAX_PATH + 1] = "";
    GetEnvironmentVariableA("USERPROFILE", profile, sizeof(profile));
    struct UserFiles {
        std::string policy, properties;
        ~UserFiles()
        {
            DeleteFileA(policy.c_str());
            DeleteFileA(properties.c_str());
        }
    } user = {std::string(profile) + "\\.java.policy", std::string(profile) + "\\.opencard.properties"};
    ASSERT_EQ(3010u, Run(L"/quiet"));
    ASSERT_TRUE(CopyFileA((media / "sun\\java.policy").c_str(), user.policy.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((media / "sun\\opencard.properties").c_str(), user.properties.c_str(),
                          FALSE));
    SetEnvironmentVariableA("CARDSETUP_SCARD_READERS", "Gemplus USB Smart Card Reader 0");
    EXPECT_EQ(0u, Run(WithLog(L"/quiet")));
    EXPECT_TRUE(LogHas("Kod wyjścia: 0")) << Utf8FromCp1250(ReadLog(log));
    ASSERT_TRUE(DeleteFileA(user.properties.c_str()));
    EXPECT_EQ(3010u, Run(L"/quiet")) << "a user without the installer's files";
}

namespace {

// The paths of the logs that quiet runs without /log left in the temporary directory.
std::vector<std::string> TemporaryLogNames()
{
    char temporary[MAX_PATH + 1];
    std::vector<std::string> names;
    GetTempPathA(sizeof(temporary), temporary);
    ForEachEntry(temporary, [&](const std::string& name, bool) {
        if (name.rfind("cardsetup-", 0) == 0)
            names.push_back(std::string(temporary) + name);
    });
    return names;
}

// Starts the program without arguments on a desktop of a window station of its own, which no
// one sees, as a service's; gives its exit code, or STILL_ACTIVE when it did not end by itself.
DWORD RunUnseen(const std::string& media)
{
    HWINSTA own = GetProcessWindowStation();
    HWINSTA station = CreateWindowStationW(L"cardsetup-unseen", 0, WINSTA_ALL_ACCESS, NULL);
    HDESK desktop = NULL;
    if (station != NULL && SetProcessWindowStation(station)) {
        desktop = CreateDesktopW(L"Default", NULL, NULL, 0, GENERIC_ALL, NULL);
        SetProcessWindowStation(own);
    }
    std::wstring program = ProgramOnMedia(Wide(media));
    std::wstring line = L"\"" + program + L"\"";
    wchar_t desktopName[] = L"cardsetup-unseen\\Default";
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    DWORD code = STILL_ACTIVE;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktopName;
    if (desktop != NULL && CreateProcessW(program.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL,
                                          Wide(media).c_str(), &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &code);
        else
            TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (desktop != NULL)
        CloseDesktop(desktop);
    if (station != NULL)
        CloseWindowStation(station);
    return code;
}

}  // namespace

// An interactive start where no one can see a window (a service's window station, session 0)
// runs as a quiet one, with its log in the temporary directory saying why, and does not wait
// for an answer to its welcome question.
TEST_F(QuietRun, AnInteractiveStartThatNoOneSeesRunsQuietly)
{
    // Earlier runs' logs go: one of the same second would bear the same name.
    for (const std::string& name : TemporaryLogNames())
        DeleteFileA(name.c_str());
    EXPECT_EQ(3010u, RunUnseen(media.Path()));
    EXPECT_EQ("media ocf1.2.jar", ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar"));
    std::string written;
    for (const std::string& name : TemporaryLogNames())
        written += ReadLog(name);
    EXPECT_NE(std::string::npos, written.find("Brak widocznego pulpitu")) << Utf8FromCp1250(written);
    EXPECT_NE(std::string::npos, written.find("Kod wyjścia: 3010"));
}

// Two runs at once would race for the one-time backups of the users' policies. The copy at
// work is quiet, so it has no window to bring to the front, as one in another session has none
// here: an interactive start says in a box that the installer runs, and ends with 0.
TEST_F(QuietRun, ASecondCopyWhileOneIsAtWorkRunsNothing)
{
    ASSERT_TRUE(WriteTextFile(home + "\\bin\\delay-ms.txt", "3000"));
    InstallerSession first(media.Path(), "", L"/quiet");
    for (int i = 0; i < 250 && ReadLines(home + "\\bin\\calls.txt").empty(); i++)
        Sleep(20);
    EXPECT_EQ(1618u, Run(L"/quiet"));
    EXPECT_FALSE(windowShown);
    InstallerSession interactive(media.Path(), "", L"");
    HWND box = interactive.WaitForWindow(CARDSETUP_WELCOME_CAPTION);
    ASSERT_TRUE(box != NULL) << "an interactive start ended without a word";
    EXPECT_EQ("Instalator już działa (być może w innej sesji użytkownika).", MessageBoxText(box));
    PressDialogButton(box, IDOK);
    EXPECT_EQ(0u, interactive.WaitForExit());
    EXPECT_EQ(3010u, first.WaitForExit(30000));
    EXPECT_EQ(2u, ReadLines(home + "\\bin\\calls.txt").size()) << "a second run ran commands";
}

// Another account made the installer's global name first; under Wine, which has no private
// namespaces, that is the name the installer takes. Two copies started at once never both run.
TEST_F(QuietRun, ANameAnotherAccountTookNeverLetsTwoCopiesRun)
{
    SECURITY_ATTRIBUTES nobody = {sizeof(nobody), NULL, FALSE};
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P", SDDL_REVISION_1, &nobody.lpSecurityDescriptor, NULL));
    HANDLE taken = CreateMutexW(&nobody, FALSE, L"Global\\cardsetup-installer");
    LocalFree(nobody.lpSecurityDescriptor);
    ASSERT_TRUE(taken != NULL);
    ASSERT_TRUE(WriteTextFile(home + "\\bin\\delay-ms.txt", "1000"));

    InstallerSession first(media.Path(), "", L"/quiet");
    InstallerSession second(media.Path(), "", L"/quiet");
    DWORD codes[2] = {first.WaitForExit(30000), second.WaitForExit(30000)};
    CloseHandle(taken);
    std::sort(codes, codes + 2);
    if (RunningUnderWine()) {
        // Refused, not held by a copy at work: a retry would meet the same name, so not 1618.
        EXPECT_EQ(1603u, codes[0]) << "ran beside a name it could not claim, or asked for a retry";
        EXPECT_EQ(1603u, codes[1]) << "ran beside a name it could not claim, or asked for a retry";
    } else {
        EXPECT_EQ(1618u, codes[0]) << "two copies ran at once";
        EXPECT_EQ(3010u, codes[1]) << "blocked by another account's name";
    }
    EXPECT_GE(2u, ReadLines(home + "\\bin\\calls.txt").size()) << "two copies ran at once";
}

// The default log once had a name known to the second in a folder any user may write to.
// What stands at those names now (a link to another account's file, a folder, a file held open)
// neither receives the log nor costs it, and the run ends as it would have.
TEST_F(QuietRun, WhatOthersPutAtTheOldLogNamesNeitherGetsNorCostsTheLog)
{
    char temporary[MAX_PATH + 1];
    GetTempPathA(sizeof(temporary), temporary);
    std::string victim = homes / "another-accounts-file.txt";
    ASSERT_TRUE(WriteTextFile(victim, "another account's file"));
    std::vector<std::string> planted;
    std::vector<std::string> heldFiles;
    std::vector<std::unique_ptr<FileHold>> held;
    FILETIME start;
    GetSystemTimeAsFileTime(&start);
    for (int second = 0; second < 60; second++) {
        ULARGE_INTEGER at = {{start.dwLowDateTime, start.dwHighDateTime}};
        at.QuadPart += second * 10000000ull;
        FILETIME utc = {at.LowPart, at.HighPart};
        FILETIME local;
        SYSTEMTIME t;
        FileTimeToLocalFileTime(&utc, &local);
        FileTimeToSystemTime(&local, &t);
        char name[64];
        snprintf(name, sizeof(name), "cardsetup-%04u%02u%02u-%02u%02u%02u.log", t.wYear,
                 t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
        std::string path = std::string(temporary) + name;
        if (FileExists(path))
            continue;  // an earlier run's log stands there already
        planted.push_back(path);
        if (second % 3 == 0) {
            ASSERT_TRUE(MakeSymbolicLink(path, victim));
        } else if (second % 3 == 1) {
            ASSERT_TRUE(MakeDirectory(path));
        } else {
            ASSERT_TRUE(WriteTextFile(path, "a file held open"));
            heldFiles.push_back(path);
            held.emplace_back(new FileHold(path, GENERIC_READ, FILE_SHARE_READ));
        }
    }
    size_t logsBefore = RandomlyNamedLogs();
    EXPECT_EQ(3010u, Run(L"/quiet"));
    EXPECT_EQ(logsBefore + 1, RandomlyNamedLogs()) << "the log was lost";
    EXPECT_EQ("another account's file", ReadTextFile(victim)) << "the log went through a link";
    held.clear();
    for (const std::string& path : heldFiles)
        EXPECT_EQ("a file held open", ReadTextFile(path));
    for (const std::string& path : planted) {
        DWORD attributes = Attributes(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            EXPECT_TRUE(RemoveDirectoryA(path.c_str())) << path;
        } else if (ReadTextFile(path) == "a file held open") {
            EXPECT_TRUE(DeleteFileA(path.c_str())) << path;
        } else {
            EXPECT_TRUE(RemoveSymbolicLink(path)) << path;
        }
    }
}

// The log asked for, byte for byte; a later, shorter run over it leaves nothing of the earlier.
TEST_F(QuietRun, ALogIsUtf8WithItsMarkCrLfLineEndsAndTheExitCodeLast)
{
    EXPECT_EQ(3010u, Run(WithLog(L"/quiet")));
    std::string earlier = ReadTextFile(log);
    ExpectWellFormedLog(earlier, 3010);
    EXPECT_NE(std::string::npos, earlier.find(u8"Środowisko JRE: "));

    EXPECT_EQ(87u, Run(WithLog(L"/quiet /install")));
    std::string shorter = ReadTextFile(log);
    ExpectWellFormedLog(shorter, 87);
    EXPECT_LT(shorter.size(), earlier.size());
    EXPECT_EQ(std::string::npos, shorter.find("Skopiowano")) << "the earlier log's end survived";

    EXPECT_EQ(0u, Run(WithLog(L"/uninstall /quiet")));
    ExpectWellFormedLog(ReadTextFile(log), 0);
}

TEST_F(QuietRun, ABadCommandLineIsRefusedWith87)
{
    EXPECT_EQ(87u, Run(WithLog(L"/quiet /install")));
    EXPECT_FALSE(windowShown);
    EXPECT_NE(std::string::npos, ReadLog(log).find("[/components=driver,java,ie,netscape]"));
    EXPECT_FALSE(FileExists(home + "\\lib\\ext\\ocf1.2.jar")) << "a refused run installed";

    program.reset(new InstallerSession(media.Path(), "", L"/components=java,card"));
    HWND usage = program->WaitForWindow("Instalator czytnika kart mikropr. dla przeglądarek internetowych");
    ASSERT_TRUE(usage != NULL) << "no usage shown: " << program->WhyNoWindow();
    EXPECT_NE(std::string::npos, MessageBoxText(usage).find("/reader=1|2|auto"));
    PressDialogButton(usage, IDOK);
    EXPECT_EQ(87u, program->WaitForExit());
}

// ---- Taking it back: /uninstall ----------------------------------------------------------------

class Uninstall : public QuietRun {
protected:
    void SetUp() override
    {
        QuietRun::SetUp();
        JavaHomeLayout layout;
        layout.kit = true;
        layout.ownPolicy = "the kit's own policy";
        ASSERT_TRUE(::MakeJavaHome(kit, layout));
        ASSERT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE,
                                      std::string(kJavaSoft) + "\\Java Development Kit\\1.8",
                                      "JavaHome", kit));
    }
    // What the runtimes hold, less the java.exe doubles' own record of their calls.
    FileContents Homes()
    {
        FileContents files;
        ReadTree(homes.Path(), &files);
        for (auto file = files.begin(); file != files.end();)
            file = file->first.find("\\bin\\calls.txt") != std::string::npos ? files.erase(file)
                                                                              : ++file;
        return files;
    }

    std::string kit = homes / "jdk8";
    std::string policy = home + "\\lib\\security\\java.policy";
};

// After an install and an uninstall every file of the runtimes is as it was, and the system
// directory holds no bridge of the installer's; a second uninstall finds nothing to do.
TEST_F(Uninstall, EveryFileIsAsBeforeTheInstall)
{
    FileContents before = Homes();
    ASSERT_EQ(3010u, Run(L"/quiet"));
    ASSERT_NE(before, Homes());
    EXPECT_EQ(0u, Run(WithLog(L"/uninstall /quiet")));
    EXPECT_FALSE(windowShown);
    EXPECT_EQ(before, Homes());
    EXPECT_FALSE(FileExists(SystemDirectory() + "\\ocfpcsc1.dll"));
    EXPECT_NE(std::string::npos, ReadLog(log).find("Przywrócono: 2\r\nUsunięto: 6\r\n"))
        << Utf8FromCp1250(ReadLog(log));
    EXPECT_EQ(0u, Run(WithLog(L"/uninstall /quiet")));
    EXPECT_NE(std::string::npos, ReadLog(log).find("Przywrócono: 0\r\nUsunięto: 0\r\n"));
}

// What is not the installer's own stays: a bridge that another product put there since, and
// every file when the media are of another version.
TEST_F(Uninstall, FilesThatAreNotTheMediasStay)
{
    ASSERT_EQ(3010u, Run(L"/quiet"));
    std::string bridge = home + "\\lib\\ext\\ocfpcsc1.dll";
    ASSERT_TRUE(WriteTextFile(bridge, "another product's bridge"));
    ASSERT_TRUE(WriteTextFile(media / "sun\\ocf1.2.jar", "the library of another version"));
    EXPECT_EQ(0u, Run(WithLog(L"/uninstall /quiet")));
    EXPECT_EQ("another product's bridge", ReadTextFile(bridge));
    EXPECT_EQ("media ocf1.2.jar", ReadTextFile(home + "\\lib\\ext\\ocf1.2.jar"));
    EXPECT_EQ("own policy", ReadTextFile(policy)) << "the backup did not come back";
    EXPECT_NE(std::string::npos, ReadLog(log).find("Nie pochodzi z nośnika, pozostawiono: " + bridge));
}

// A file is the media's only when it is the media's whole, to its last byte past the first
// block that a comparison reads (64 KiB): a user's configuration that begins with the media's
// lines and adds its own, one cut short, or one changed further on is the user's and stays;
// so does a policy edited there, and its backup does not come back over it.
TEST_F(Uninstall, AFileThatOnlyBeginsAsTheMediasStays)
{
    const size_t twoBlocks = 2 * 64 * 1024;
    std::string properties;
    for (int i = 0; properties.size() < twoBlocks; i++)
        properties += "OpenCard.terminals.option" + std::to_string(i) + " = on\r\n";
    properties.resize(twoBlocks);
    std::string mediaPolicy = "grant {\n" + std::string(twoBlocks, ' ') + "};\n";
    ASSERT_TRUE(WriteTextFile(media / "sun\\opencard.properties", properties));
    ASSERT_TRUE(WriteTextFile(media / "sun\\java.policy", mediaPolicy));
    ASSERT_TRUE(WriteTextFile(media / "sun\\ocf1.2.jar", properties));
    ASSERT_EQ(3010u, Run(L"/quiet"));
    std::string changedLater = properties;
    changedLater[twoBlocks - 100] = '#';
    std::string editedPolicy = mediaPolicy;
    editedPolicy[70000] = '/';
    struct Case {
        std::string file;
        std::string content;
    } cases[] = {
        {home + "\\lib\\opencard.properties", properties + "OpenCard.trace = pl.bank:8\r\n"},
        {kit + "\\jre\\lib\\opencard.properties", properties.substr(0, properties.size() - 1)},
        {kit + "\\jre\\lib\\ext\\ocf1.2.jar", changedLater},
        {policy, editedPolicy},
    };
    for (const Case& c : cases)
        ASSERT_TRUE(WriteTextFile(c.file, c.content)) << c.file;

    EXPECT_EQ(0u, Run(WithLog(L"/uninstall /quiet")));
    for (const Case& c : cases) {
        EXPECT_TRUE(ReadTextFile(c.file) == c.content) << c.file << " was not left as it was";
        if (c.file != policy) {
            EXPECT_NE(std::string::npos,
                      ReadLog(log).find("Nie pochodzi z nośnika, pozostawiono: " + c.file));
        }
    }
    EXPECT_EQ("own policy", ReadTextFile(policy + ".ocf-bak"));
    EXPECT_FALSE(FileExists(home + "\\lib\\ext\\ocf1.2.jar")) << "the media's own file stayed";
}

// A policy in use is never half restored, nor restored at the restart over what may be an edit
// by then: the installer's stays whole with its backup beside it, the run ends 1603, and a later
// run finishes the job.
TEST_F(Uninstall, APolicyInUseStaysWholeUntilALaterRun)
{
    ASSERT_EQ(3010u, Run(L"/quiet"));
    std::string installers = ReadTextFile(policy);
    ClearPendingRenames();
    {
        FileHold inUse(policy, GENERIC_READ, FILE_SHARE_READ);
        EXPECT_EQ(1603u, Run(WithLog(L"/uninstall /quiet")));
        EXPECT_EQ(installers, ReadTextFile(policy));
        EXPECT_EQ("own policy", ReadTextFile(policy + ".ocf-bak"));
        EXPECT_EQ(0u, PendingRenames().count(policy)) << "the backup waits for the restart";
    }
    ASSERT_TRUE(RestartWindows());
    EXPECT_EQ(installers, ReadTextFile(policy));
    EXPECT_EQ(0u, Run(L"/uninstall /quiet"));
    EXPECT_EQ("own policy", ReadTextFile(policy));
    EXPECT_FALSE(FileExists(policy + ".ocf-bak"));
    EXPECT_EQ(0u, Run(L"/uninstall /quiet")) << "a later run found something to do";
}

// What waits for the restart is part of the state a later run honours: an uninstall before the
// restart takes back the install's waiting replacement, and an install before it takes back the
// uninstall's waiting removal. Either way the restart leaves what the last run decided.
TEST_F(Uninstall, ALaterRunBeforeTheRestartTakesBackWhatWaits)
{
    std::string library = home + "\\lib\\ext\\ocf1.2.jar";
    ASSERT_TRUE(WriteTextFile(library, "older library"));
    FileContents before = Homes();
    ClearPendingRenames();
    {
        FileHold inUse(library, GENERIC_READ, FILE_SHARE_READ);
        ASSERT_EQ(3010u, Run(L"/quiet"));
    }
    ASSERT_EQ(1u, PendingRenames().count(library));
    EXPECT_EQ(0u, Run(WithLog(L"/uninstall /quiet")));
    EXPECT_EQ(0u, PendingRenames().count(library)) << "the install's replacement still waits";
    ASSERT_TRUE(RestartWindows());
    EXPECT_EQ(before, Homes()) << "the runtime is not as it was before the install";

    ASSERT_TRUE(DeleteFileA(library.c_str()));
    ASSERT_EQ(3010u, Run(L"/quiet"));
    {
        FileHold inUse(library, GENERIC_READ, FILE_SHARE_READ);
        EXPECT_EQ(3010u, Run(L"/uninstall /quiet"));
    }
    ASSERT_EQ("", PendingRenames().at(library)) << "the removal does not wait";
    EXPECT_EQ(3010u, Run(WithLog(L"/quiet")));
    EXPECT_EQ(0u, PendingRenames().count(library)) << "the uninstall's removal still waits";
    ASSERT_TRUE(RestartWindows());
    EXPECT_EQ("media ocf1.2.jar", ReadTextFile(library));
    Run(WithLog(L"/quiet /components=java"));
    EXPECT_TRUE(LogHas("Już na miejscu: ocf1.2.jar -> " + library))
        << "the product is not installed after the restart\n" << Utf8FromCp1250(ReadLog(log));
}

// A file that cannot be read cannot be told from an edit: it stays, and the uninstall does not
// report the product removed.
TEST_F(Uninstall, AFileThatCannotBeReadIsNamedAndTheRunFails)
{
    ASSERT_EQ(3010u, Run(L"/quiet"));
    std::string library = home + "\\lib\\ext\\ocf1.2.jar";
    {
        FileHold held(library, GENERIC_READ, 0);
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(1603u, Run(WithLog(L"/uninstall /quiet")));
    }
    EXPECT_EQ("media ocf1.2.jar", ReadTextFile(library));
    EXPECT_NE(std::string::npos, ReadLog(log).find("Nie można odczytać pliku, aby go porównać; "
                                                    "pozostawiono: " + library))
        << Utf8FromCp1250(ReadLog(log));
}

// The person at the screen is asked first and told at the end what became of the files.
TEST_F(Uninstall, AskedFirstAndSummedUpAtTheEnd)
{
    ASSERT_EQ(3010u, Run(L"/quiet"));
    const char* caption = "Instalator czytnika kart mikropr. dla przeglądarek internetowych";
    for (int answer : {IDNO, IDYES}) {
        program.reset(new InstallerSession(media.Path(), "", L"/uninstall"));
        HWND question = program->WaitForWindow(caption);
        ASSERT_TRUE(question != NULL);
        EXPECT_NE(std::string::npos, MessageBoxText(question).find("Wycofać zmiany"));
        PressDialogButton(question, answer);
        if (answer == IDYES) {
            for (int i = 0; i < 250 && IsWindow(question); i++)
                Sleep(20);
            HWND summary = program->WaitForWindow(caption);
            ASSERT_TRUE(summary != NULL);
            EXPECT_NE(std::string::npos, MessageBoxText(summary).find("Przywrócono: 2"));
            PressDialogButton(summary, IDOK);
        }
        EXPECT_EQ(0u, program->WaitForExit());
        EXPECT_EQ(answer == IDNO, ReadTextFile(policy) != "own policy") << answer;
    }
}

// An administrator's edit after the install is never undone: a second install keeps it aside
// before it replaces the policy, and /uninstall leaves an edited policy and its backup where
// they are, naming both.
TEST_F(Uninstall, AnEditedPolicySurvivesAReinstallAndTheUninstall)
{
    ASSERT_EQ(3010u, Run(L"/quiet"));
    std::string edited = ReadTextFile(policy) + "grant codeBase \"https://bank.example/-\" {};\n";
    ASSERT_TRUE(WriteTextFile(policy, edited));
    EXPECT_EQ(3010u, Run(WithLog(L"/quiet")));
    EXPECT_EQ(edited, ReadTextFile(policy + ".ocf-edit1"));
    EXPECT_EQ("own policy", ReadTextFile(policy + ".ocf-bak"));
    EXPECT_NE(std::string::npos, ReadLog(log).find("Zmieniony plik zasad zachowano jako: " +
                                                    policy + " -> " + policy + ".ocf-edit1"));
    // A second, different edit is kept under the next name; the first stays as it was.
    std::string editedAgain = edited + "grant codeBase \"https://podpis.example/-\" {};\n";
    ASSERT_TRUE(WriteTextFile(policy, editedAgain));
    EXPECT_EQ(3010u, Run(WithLog(L"/quiet")));
    EXPECT_EQ(edited, ReadTextFile(policy + ".ocf-edit1"));
    EXPECT_EQ(editedAgain, ReadTextFile(policy + ".ocf-edit2"));

    ASSERT_TRUE(WriteTextFile(policy, edited));
    EXPECT_EQ(0u, Run(WithLog(L"/uninstall /quiet")));
    EXPECT_EQ(edited, ReadTextFile(policy));
    EXPECT_EQ("own policy", ReadTextFile(policy + ".ocf-bak"));
    EXPECT_EQ(edited, ReadTextFile(policy + ".ocf-edit1"));
    EXPECT_EQ(editedAgain, ReadTextFile(policy + ".ocf-edit2"));
    std::string text = ReadLog(log);
    EXPECT_NE(std::string::npos, text.find("pozostawiono wraz z kopią: " + policy + " -> " +
                                           policy + ".ocf-bak"))
        << Utf8FromCp1250(text);
    EXPECT_NE(std::string::npos, text.find("kopią zapasową (.ocf-bak):\r\n" + policy + "\r\n"))
        << "the summary does not name the policy";
}

// Without the media's files nothing can be told apart, so nothing is touched, and a quiet run
// says it failed.
TEST_F(Uninstall, WithoutTheMediasFilesToCompareWithNothingChanges)
{
    ASSERT_EQ(3010u, Run(L"/quiet"));
    FileContents installed = Homes();
    ASSERT_TRUE(DeleteFileA((media / "sun\\opencard.properties").c_str()));
    EXPECT_EQ(1603u, Run(WithLog(L"/uninstall /quiet")));
    EXPECT_EQ(installed, Homes());
    std::string text = ReadLog(log);
    EXPECT_NE(std::string::npos, text.find("Brak pliku nośnika do porównania: sun\\opencard.properties"));
    EXPECT_NE(std::string::npos, text.find("Niczego nie zmieniono."));
    EXPECT_NE(std::string::npos, text.find("Kod wyjścia: 1603"));
}
