// The SHA-256 of a file's bytes, by Windows' own CNG provider (bcrypt.dll, there since Vista),
// which the installed product's record keeps for every file it placed, so that a later run can
// tell the installer's bytes from an edit without the media.
#pragma once

#include <stddef.h>

const size_t kSha256Size = 32;
// 64 hexadecimal digits and the terminator.
const size_t kSha256TextSize = 2 * kSha256Size + 1;

// The file's SHA-256 as 64 lower-case hexadecimal digits in text; false where the file cannot be
// read whole or CNG refuses (text is then "").
bool HashFile(const char* path, char* text, size_t capacity);
