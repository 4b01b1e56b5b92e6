// The two bounded text helpers that every step uses to fill a caller's buffer: a fixed text is
// copied and a text with numbers is formatted, never past the capacity given in characters.
#pragma once

#include <stddef.h>

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
