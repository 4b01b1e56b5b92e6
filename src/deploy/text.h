// The bounded text helpers that every step uses to fill a caller's buffer: a fixed text is
// copied and a text with numbers is formatted, never past the capacity given in characters.
// Beside them, the conversions between the installer's code page 1250 texts, the system's ANSI
// code page that its paths are in, and the Unicode that windows and the system speak.
#pragma once

#include <stddef.h>
#include <wchar.h>

// The code page of every text the installer writes for the user: Polish, whatever the system's.
const unsigned int kTextCodePage = 1250;

// Copies text into dest like strncpy (the rest of the buffer is zeroed) but always terminates it.
// Returns 1 when the whole text fit, 0 when it was cut or there is no buffer to write into.
int CopyText(char* dest, size_t capacity, const char* text);

// Formats into dest, cut at the capacity and always terminated (msvcrt conventions: %I64u for
// 64-bit numbers). Returns 1 when the whole text fit, 0 when it was cut or there is no buffer.
int FormatText(char* dest, size_t capacity, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(ms_printf, 3, 4)))
#endif
    ;

// A code page 1250 text as Unicode, for a window: cut at the capacity and always terminated.
// Returns 1 when the whole text fit.
int WideFromText(wchar_t* dest, size_t capacity, const char* text);

// A path in the ANSI code page, for a text the user reads: its letters in code page 1250, each
// letter that has no form there shown as "?". Cut at the capacity and always terminated.
int TextFromPath(char* dest, size_t capacity, const char* path);

// A Unicode path in the ANSI code page, only when every character has its exact form there:
// a best-fit neighbour ("Lodz" for "Łódź") could name another folder. Returns 1 when it was
// converted whole; 0 otherwise, and then dest is empty.
int PathFromWide(char* dest, size_t capacity, const wchar_t* path);
