// Every process the installer starts goes through one function pointer. Windows acts on how a
// process is asked for (the program, its command line, the flags, the environment) in ways that
// Wine does not show, so the tests put a recorder in its place.
#pragma once

#include <windows.h>

typedef BOOL(WINAPI* ProcessStarter)(LPCSTR application, LPSTR commandLine,
                                     LPSECURITY_ATTRIBUTES processAttributes,
                                     LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                                     DWORD creationFlags, LPVOID environment, LPCSTR directory,
                                     LPSTARTUPINFOA startup, LPPROCESS_INFORMATION process);

// CreateProcessA unless a test has put its recorder here.
extern ProcessStarter g_startProcess;
