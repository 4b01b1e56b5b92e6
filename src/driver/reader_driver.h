// The reader types offered in the dialog and the driver step: when PC/SC lists no reader of the
// GEMPLUS family, the vendor's driver installer for the chosen type is started from Drivers.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "deploy/status.h"

typedef int32_t ReaderType;

struct ReaderTypeEntry {
    const char* displayName;
    ReaderType type;
};

const int kReaderTypeCount = 2;
extern const ReaderTypeEntry ReaderTypeTable[kReaderTypeCount];

// The launcher's file name in Drivers for a reader type, or NULL when the type has none.
const char* DriverLauncherName(ReaderType readerType);

// Searches the first length characters of a PC/SC reader list (NUL-separated names) for
// "GEMPLUS" in ASCII upper or lower case; a match never spans two names.
bool ReaderListContainsGemplus(const char* list, int32_t length);

// Asks PC/SC (winscard.dll from the system directory only) whether a GEMPLUS reader is listed.
// Every failure on the way answers false.
bool DetectGemplusReader();

typedef HMODULE(WINAPI* LibraryLoader)(LPCSTR name, HANDLE file, DWORD flags);
// LoadLibraryExA unless a test has put a double here, such as one that refuses the search flag
// as a Windows 7 without KB2533623 does.
extern LibraryLoader g_loadLibrary;

// A quiet run sets this: the launcher is then awaited, started without a console window, and its
// exit code other than those of PackageSucceeded is the step's error.
extern bool g_awaitLauncher;
// How long an awaited launcher is waited for (INFINITE unless a quiet run sets it). At the limit
// the step is an error and the launcher is left running.
extern DWORD g_launcherTimeLimitMs;

// The exit codes of Windows Installer by which a driver package asks for a restart: one to come,
// or one it has begun. ERROR_INSTALL_ALREADY_RUNNING (1618) says another installation is at work.
const DWORD kPackageRestartNeeded = 3010;
const DWORD kPackageRestartStarted = 1641;
const DWORD kPackageAnotherInstallation = 1618;

// Whether an awaited package's exit code says that it did its work (0, or 0 with a restart).
bool PackageSucceeded(DWORD exitCode);

// The vendor's package's own switches (its silent mode), which the media's scripts and a
// program launcher hand on to it, are taken from this variable of the environment.
const char kDriverArgumentsVariable[] = "CARDSETUP_DRIVER_ARGUMENTS";
const size_t kLongestDriverArguments = 1024;

// Loads a library by its full path in the system directory, as the PC/SC library is loaded
// where the system's loader lacks the search flags. NULL when it does not load.
HMODULE LoadFromSystemDirectory(const char* name);

// Starts the launcher of that name in the current directory by its full path: a batch script
// through the system's cmd.exe, a program directly, with the startup information and handle
// inheritance given. False when no such file is there, or the vendor's package that the script
// starts is not beside it, or it cannot be started; on true the caller owns the handles in
// process.
bool StartDriverLauncher(const char* launcher, STARTUPINFOA* startup, BOOL inheritHandles,
                         PROCESS_INFORMATION* process);

// The driver step: StatusWarning when a GEMPLUS reader is there already, StatusOk when the
// launcher was started (awaited, when it ended as PackageSucceeded says), StatusError otherwise.
// packageExitCode, when given, gets an awaited launcher's exit code, 0 when none ended. Leaves
// the current directory where it found it.
ComponentStatus InstallReaderDriver(ReaderType readerType, char* message, uint32_t capacity,
                                    DWORD* packageExitCode = NULL);
