// Bounded copy and bounded format: the only two ways the installer writes text into a buffer
// it was handed, so that a null buffer, a capacity of 0 or a long text never writes past it.
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
