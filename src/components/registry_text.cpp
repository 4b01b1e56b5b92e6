// Registry values come from whatever wrote them: a value of another type, or a string stored
// without its terminator, must never turn into a path that runs past its buffer.
#include "components/registry_text.h"

#include <string.h>

#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static int IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

int ReadRegistryText(HKEY key, const char* name, char* text, size_t capacity)
{
    DWORD type = REG_NONE;
    DWORD size;
    LONG result;

    if (text == NULL || capacity == 0 || capacity > 0xFFFFFFFFu)
        return 0;
    size = (DWORD)capacity;
    result = RegQueryValueExA(key, name, NULL, &type, (BYTE*)text, &size);
    if (result != ERROR_SUCCESS || !IsTextType(type) || size == 0 || size > capacity ||
        memchr(text, '\0', size) == NULL || text[0] == '\0') {
        text[0] = '\0';
        return 0;
    }
    return 1;
}
