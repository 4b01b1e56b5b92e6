// What the log says before the steps: the installer's version and command line, the Windows
// version, the account and its rights, and the media; and the Windows version for the choice of
// the reader type in a quiet run.
#pragma once

#include <windows.h>

// Whether Windows is at least major.minor, as it reports itself (not as it tells old programs).
bool WindowsVersionAtLeast(DWORD major, DWORD minor);

// Whether the installer runs as SYSTEM, as deployment tools start it.
bool RunningAsSystem();

// media: the folder the program runs from, which holds the media.
void LogRunFacts(const wchar_t* media);
