// Bounded copy and bounded format: the only two ways the installer writes text into a buffer
// it was handed, so that a null buffer, a capacity of 0 or a long text never writes past it.
// The conversions are bounded the same way, and a path is never turned into a look-alike.
#include "deploy/text.h"

#include <stdarg.h>
#include <string.h>
#include <windows.h>
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

int CopyText(char* dest, size_t capacity, const char* text)
{
    size_t length;

    if (dest == NULL || capacity == 0)
        return 0;
    length = strnlen(text, capacity);
    if (length == capacity)
        length = capacity - 1;
    memcpy(dest, text, length);
    memset(dest + length, 0, capacity - length);
    return text[length] == '\0';
}

int FormatText(char* dest, size_t capacity, const char* format, ...)
{
    va_list arguments;
    HRESULT result;

    if (dest == NULL || capacity == 0)
        return 0;
    va_start(arguments, format);
    result = StringCchVPrintfA(dest, capacity, format, arguments);
    va_end(arguments);
    if (FAILED(result) && result != STRSAFE_E_INSUFFICIENT_BUFFER)
        dest[0] = '\0';
    return SUCCEEDED(result);
}

// The converters write nothing when the text does not fit, so a text is converted whole into a
// buffer as large as the largest result and then cut to the capacity.
static const size_t kLongestConversion = 4096;

int WideFromText(wchar_t* dest, size_t capacity, const char* text)
{
    wchar_t wide[kLongestConversion];
    int length;

    if (dest == NULL || capacity == 0)
        return 0;
    length = MultiByteToWideChar(kTextCodePage, 0, text, (int)strnlen(text, kLongestConversion),
                                 wide, (int)kLongestConversion - 1);
    wide[length > 0 ? length : 0] = L'\0';
    return SUCCEEDED(StringCchCopyW(dest, capacity, wide));
}

int TextFromPath(char* dest, size_t capacity, const char* path)
{
    wchar_t wide[kLongestConversion];
    char text[kLongestConversion];
    int length;

    if (dest == NULL || capacity == 0)
        return 0;
    length = MultiByteToWideChar(CP_ACP, 0, path, (int)strnlen(path, kLongestConversion), wide,
                                 (int)kLongestConversion);
    length = WideCharToMultiByte(kTextCodePage, WC_NO_BEST_FIT_CHARS, wide, length > 0 ? length : 0,
                                 text, (int)kLongestConversion - 1, "?", NULL);
    text[length > 0 ? length : 0] = '\0';
    return CopyText(dest, capacity, text);
}

int PathFromWide(char* dest, size_t capacity, const wchar_t* path)
{
    BOOL inexact = FALSE;
    bool utf8 = GetACP() == CP_UTF8;
    int length;

    if (dest == NULL || capacity == 0)
        return 0;
    // UTF-8 holds every character; only a broken surrogate has no form there.
    length = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, path,
                                 -1, dest, (int)(capacity < INT_MAX ? capacity : INT_MAX), NULL,
                                 utf8 ? NULL : &inexact);
    if (length == 0 || inexact) {
        dest[0] = '\0';
        return 0;
    }
    return 1;
}
