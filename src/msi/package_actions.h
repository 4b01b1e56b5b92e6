// The MSI package's custom actions (exported from cardsetup_msi.dll) and the two decisions they
// make, which the tests check on their own.
#pragma once

#include <stddef.h>
#include <windows.h>

// The action's result for the program's exit code: success for 0, 3010 and 1641, which also set
// *restartNeeded; failure (1603) for anything else.
UINT PackageResultOf(DWORD exitCode, bool* restartNeeded);

// "\"<folder>\cardsetup.exe\" <switches> <options>" from CustomActionData "<folder>|<options>"
// (or "<folder>" alone), the options left out unless withOptions. False when the folder is
// empty, the options hold another "|", or the line does not fit capacity characters.
bool ProgramCommandLine(const wchar_t* data, const wchar_t* switches, bool withOptions,
                        wchar_t* commandLine, size_t capacity);
