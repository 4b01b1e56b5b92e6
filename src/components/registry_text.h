// Reading a registry value as a path-sized text. Only a string that fits the caller's buffer
// with its terminator, and whose every letter the ANSI code page holds, is used; anything else
// counts as a missing value.
#pragma once

#include <stddef.h>
#include <windows.h>

// Reads the value name of key into text (capacity bytes). Returns 1 for a REG_SZ or
// REG_EXPAND_SZ value that is terminated within capacity characters, is not empty and has an
// exact form in the ANSI code page; otherwise 0. The text is terminated in every case (empty
// when 0 is returned). Nothing is expanded.
int ReadRegistryText(HKEY key, const char* name, char* text, size_t capacity);
