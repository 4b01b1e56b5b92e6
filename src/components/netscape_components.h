// The Netscape Navigator 4.x step: OCF's class archives and the PC/SC bridge into the browser's
// Java directories, found through the current user's registry, and the OCF configuration into
// every user profile.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "deploy/status.h"

// Reads the current user's Netscape 4.x install directory into path (capacity bytes). Returns
// the length of the directory above it, whose Users directory holds the profiles, with its
// backslash; 0 when no usable install directory is registered.
size_t ReadNetscapeInstallDirectory(char* path, size_t capacity);

// Only a plain directory counts as a profile: the test is for equality with the directory
// attribute, so a directory with any other attribute is passed over like a file.
bool IsNetscapeProfile(const WIN32_FIND_DATAA* entry);

// Runs from the installation media directory and returns there. A PC without Netscape 4.x
// gets StatusWarning; StatusOk, StatusError and StatusAborted as for the other steps.
ComponentStatus InstallNetscapeComponents(char* message, uint32_t capacity);
