// Registry values come from whatever wrote them: a value of another type, or a string stored
// without its terminator, must never turn into a path that runs past its buffer. The value is
// read in Unicode: the ANSI read would hand back "Lukasz" for "Łukasz", another user's folder.
#include "components/registry_text.h"

#include <wchar.h>

#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

// A value name or a path of up to MAX_PATH characters and its terminator.
static const size_t kLongestText = MAX_PATH + 2;

static int IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

int ReadRegistryText(HKEY key, const char* name, char* text, size_t capacity)
{
    wchar_t wideName[kLongestText];
    wchar_t value[kLongestText];
    DWORD type = REG_NONE;
    DWORD size;
    size_t characters;

    if (text == NULL || capacity == 0)
        return 0;
    text[0] = '\0';
    characters = capacity < kLongestText ? capacity : kLongestText;
    size = (DWORD)(characters * sizeof(wchar_t));
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, (int)kLongestText) ||
        RegQueryValueExW(key, wideName, NULL, &type, (BYTE*)value, &size) != ERROR_SUCCESS ||
        !IsTextType(type) || size < sizeof(wchar_t) ||
        wmemchr(value, L'\0', size / sizeof(wchar_t)) == NULL || value[0] == L'\0')
        return 0;
    return PathFromWide(text, capacity, value);
}
