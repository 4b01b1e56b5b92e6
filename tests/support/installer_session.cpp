// Finding the program's windows among the desktop's top-level windows by process and title.
#include "installer_session.h"

#include <vector>

#include "resource.h"
#include "shell/window_titles.h"
#include "support/prompt_answerer.h"
#include "support/test_files.h"

std::wstring ProgramOnMedia(const std::wstring& mediaDirectory)
{
    std::wstring program = mediaDirectory + L"\\cardsetup.exe";
    CopyFileW(Wide(ProgramDirectory() + "\\cardsetup.exe").c_str(), program.c_str(), FALSE);
    return program;
}

InstallerSession::InstallerSession(const std::string& mediaDirectory, std::string program,
                                   const std::wstring& arguments, DWORD creationFlags)
{
    Start(program.empty() ? ProgramOnMedia(Wide(mediaDirectory)) : Wide(program),
          Wide(mediaDirectory), arguments, creationFlags);
}

InstallerSession::InstallerSession(const std::wstring& mediaDirectory,
                                   const std::wstring& arguments)
{
    Start(ProgramOnMedia(mediaDirectory), mediaDirectory, arguments);
}

InstallerSession::InstallerSession(const std::wstring& mediaDirectory,
                                   const std::wstring& arguments,
                                   const std::wstring& currentDirectory, DWORD creationFlags)
{
    Start(ProgramOnMedia(mediaDirectory), currentDirectory, arguments, creationFlags);
}

void InstallerSession::Start(const std::wstring& program, const std::wstring& currentDirectory,
                             const std::wstring& arguments, DWORD creationFlags)
{
    STARTUPINFOW startup;
    std::wstring line = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    std::vector<wchar_t> commandLine(line.begin(), line.end());

    commandLine.push_back(L'\0');
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    ZeroMemory(&process_, sizeof(process_));
    // A machine busy with other Wine runs has refused a start now and then (error 1359, an
    // internal error): such a start is tried again, a few times.
    for (int attempt = 0; attempt < 5; attempt++) {
        if (CreateProcessW(program.c_str(), commandLine.data(), NULL, NULL, FALSE, creationFlags,
                           NULL, currentDirectory.c_str(), &startup, &process_))
            return;
        startError_ = GetLastError();
        ZeroMemory(&process_, sizeof(process_));
        if (startError_ != ERROR_INTERNAL_ERROR && startError_ != ERROR_NO_SYSTEM_RESOURCES &&
            startError_ != ERROR_NOT_ENOUGH_MEMORY)
            return;
        Sleep(500);
    }
}

InstallerSession::~InstallerSession()
{
    if (!Started())
        return;
    if (Running()) {
        TerminateProcess(process_.hProcess, 99);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

struct WindowSearch {
    DWORD processId;
    const char* title;
    HWND found;
};

static BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;
    char className[16];
    wchar_t title[256];

    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !IsWindowVisible(window))
        return TRUE;
    GetClassNameA(window, className, sizeof(className));
    GetWindowTextW(window, title, sizeof(title) / sizeof(title[0]));
    if (lstrcmpA(className, "#32770") == 0 && Cp1250(title) == search->title) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND InstallerSession::WaitForWindow(const char* title, DWORD timeoutMs)
{
    WindowSearch search = {process_.dwProcessId, title, NULL};
    DWORD start = GetTickCount();

    whyNoWindow_ = "not started (error " + std::to_string(startError_) + ")";
    while (Started() && GetTickCount() - start < timeoutMs) {
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != NULL)
            return search.found;
        if (!Running()) {
            whyNoWindow_ = "the program ended with " + std::to_string(WaitForExit(0));
            return NULL;
        }
        whyNoWindow_ = "none within " + std::to_string(timeoutMs) + " ms";
        Sleep(20);
    }
    return NULL;
}

bool InstallerSession::AnswerWelcome(int button)
{
    HWND welcome = WaitForWindow(CARDSETUP_WELCOME_CAPTION);
    if (welcome == NULL)
        return false;
    PressDialogButton(welcome, button);
    return true;
}

HWND InstallerSession::Dialog()
{
    return WaitForWindow(CARDSETUP_DIALOG_TITLE);
}

HWND InstallerSession::OpenDialog()
{
    return AnswerWelcome(IDYES) ? Dialog() : NULL;
}

InstallerSession::Closing InstallerSession::CloseAfterRun(HWND dialog, void (*close)(HWND))
{
    Closing closing = {"", false, STILL_ACTIVE};
    HWND notice;

    // A dialog that still refuses its buttons cannot be closed: that is known at once.
    if (!IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)))
        return closing;
    if (close != NULL)
        close(dialog);
    else
        PressDialogButton(dialog, IDCANCEL);
    notice = WaitForWindow(CARDSETUP_RESTART_CAPTION, 5000);
    if (notice == NULL) {
        closing.exitCode = WaitForExit(1000);
        return closing;
    }
    closing.notice = MessageBoxText(notice);
    closing.dialogWaited = IsWindow(dialog) != FALSE;
    PressDialogButton(notice, IDOK);
    closing.exitCode = WaitForExit();
    return closing;
}

DWORD InstallerSession::WaitForExit(DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;

    if (!Started() || WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

static BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM parameter)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;

    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

bool InstallerSession::ShowsAWindow()
{
    WindowSearch search = {process_.dwProcessId, NULL, NULL};
    EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found != NULL;
}

static BOOL CALLBACK CollectVisibleWindow(HWND window, LPARAM parameter)
{
    DWORD processId = 0;

    GetWindowThreadProcessId(window, &processId);
    if (processId != GetCurrentProcessId() && IsWindowVisible(window))
        reinterpret_cast<std::set<HWND>*>(parameter)->insert(window);
    return TRUE;
}

std::set<HWND> WindowsOnScreen()
{
    std::set<HWND> windows;
    EnumWindows(CollectVisibleWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool InstallerSession::Running()
{
    return Started() && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

std::string WindowText(HWND window)
{
    wchar_t text[4096];
    DWORD_PTR length = 0;

    if (!SendMessageTimeoutW(window, WM_GETTEXT, sizeof(text) / sizeof(text[0]), (LPARAM)text,
                             SMTO_ABORTIFHUNG, 5000, &length))
        return "<no answer>";
    return Cp1250(std::wstring(text, length < sizeof(text) / sizeof(text[0]) ? length : 0));
}

void Press(HWND button)
{
    PostMessageA(button, BM_CLICK, 0, 0);
}

void PressDialogButton(HWND dialog, int id)
{
    Press(GetDlgItem(dialog, id));
}

bool WaitUntil(bool (*condition)(HWND), HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();

    while (!condition(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

bool RunHasEnded(HWND dialog)
{
    return WindowText(GetDlgItem(dialog, IDOK)) == "&Szczegóły >>";
}

std::string Utf8FromCp1250(const std::string& text)
{
    return Utf8(Wide(text, 1250));
}
