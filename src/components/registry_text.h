// Reading a registry value as a path-sized text. Only a string that fits the caller's buffer
// with its terminator is used; anything else counts as a missing value.
#pragma once

#include <stddef.h>
#include <windows.h>

// Reads the value name of key into text (capacity bytes). Returns 1 for a REG_SZ or
// REG_EXPAND_SZ value that is terminated within capacity bytes and is not empty; otherwise 0.
// The text is terminated in every case (empty when 0 is returned). Nothing is expanded.
int ReadRegistryText(HKEY key, const char* name, char* text, size_t capacity);
