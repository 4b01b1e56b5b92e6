// Drives cardsetup.exe the way a user meets it: the program is started in a media directory and
// its windows are found, read and pressed from the test process through the Win32 API.
#pragma once

#include <windows.h>

#include <set>
#include <string>

class InstallerSession {
public:
    // Starts the program with the arguments and process creation flags given, in mediaDirectory.
    // Unless one is named, it is build/bin/cardsetup.exe copied into mediaDirectory, as the media
    // hold it.
    explicit InstallerSession(const std::string& mediaDirectory, std::string program = "",
                              const std::wstring& arguments = L"", DWORD creationFlags = 0);
    explicit InstallerSession(const std::wstring& mediaDirectory,
                              const std::wstring& arguments = L"");
    // The same, started by its full path from another current directory, as a startup script
    // or a deployment tool starts it.
    InstallerSession(const std::wstring& mediaDirectory, const std::wstring& arguments,
                     const std::wstring& currentDirectory, DWORD creationFlags = 0);
    ~InstallerSession();  // ends the program if it still runs

    bool Started() const { return process_.hProcess != NULL; }
    // A dialog-class window of the program with exactly this title, or NULL when the program
    // was not started, has ended, or the timeout passed; WhyNoWindow() then says which.
    HWND WaitForWindow(const char* title, DWORD timeoutMs = 15000);
    const std::string& WhyNoWindow() const { return whyNoWindow_; }
    // The welcome question, answered with IDYES or IDNO; false when it never came.
    bool AnswerWelcome(int button);
    HWND Dialog();  // the installer dialog, waited for
    // Answers the welcome question with Yes and gives the dialog; NULL when either never came.
    HWND OpenDialog();

    // What closing the dialog after a run showed: the restart notice's text (empty when none
    // came), whether the dialog still stood while the notice was open, and the exit code.
    struct Closing {
        std::string notice;
        bool dialogWaited;
        DWORD exitCode;
    };
    // Closes the dialog with close ("&Zamknij" when none is given), confirms the restart notice
    // and waits for the program to end. A dialog whose "&Zamknij" is refused, or that shows no
    // notice within five seconds, gives an empty notice without waiting longer.
    Closing CloseAfterRun(HWND dialog, void (*close)(HWND) = NULL);
    // The exit code, or STILL_ACTIVE when the program has not ended within the timeout.
    DWORD WaitForExit(DWORD timeoutMs = 15000);
    bool Running();
    HANDLE Process() const { return process_.hProcess; }
    // Whether the program shows a window now: it has none that is visible.
    bool ShowsAWindow();

private:
    void Start(const std::wstring& program, const std::wstring& currentDirectory,
               const std::wstring& arguments, DWORD creationFlags = 0);

    PROCESS_INFORMATION process_;
    DWORD startError_ = ERROR_SUCCESS;
    std::string whyNoWindow_;
};

// The visible top-level windows of every process but this one: what the screen shows, a
// console window that a child process opens included.
std::set<HWND> WindowsOnScreen();

// The program as the media hold it: build/bin/cardsetup.exe copied into mediaDirectory (a copy
// there that is running stays). Gives its path.
std::wstring ProgramOnMedia(const std::wstring& mediaDirectory);

// A window's text in code page 1250, sent as WM_GETTEXT, which reaches another process.
std::string WindowText(HWND window);
void Press(HWND button);              // a click on a button, as BM_CLICK
void PressDialogButton(HWND dialog, int id);
// Whether the dialog's run has ended: its first button then reads "&Szczegóły >>".
bool RunHasEnded(HWND dialog);
// The dialog's texts, in code page 1250, as UTF-8 for a terminal or a log.
std::string Utf8FromCp1250(const std::string& text);
// Waits until the condition holds, checking every 20 ms; false after the timeout.
bool WaitUntil(bool (*condition)(HWND), HWND window, DWORD timeoutMs = 15000);
