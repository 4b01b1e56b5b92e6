// Switches are matched without regard to case and may begin with "/" or "-". A value follows
// "=", or comes as the next argument for the two that take any text (/log, /driver-args).
#include "shell/command_line.h"

#include <wchar.h>

#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// The program's name ends at the first blank, or at the closing quote of a quoted name; no
// backslash rule applies to it.
static const wchar_t* SkipProgramName(const wchar_t* cursor)
{
    bool quoted = false;

    for (; *cursor != L'\0' && (quoted || !IsBlank(*cursor)); cursor++) {
        if (*cursor == L'"')
            quoted = !quoted;
    }
    return cursor;
}

bool NextArgument(const wchar_t** cursor, wchar_t* argument, size_t capacity)
{
    const wchar_t* p = *cursor;
    size_t length = 0;
    bool quoted = false;

    while (IsBlank(*p))
        p++;
    if (*p == L'\0')
        return false;
    while (*p != L'\0' && (quoted || !IsBlank(*p))) {
        size_t backslashes = 0;
        while (p[backslashes] == L'\\')
            backslashes++;
        // 2n backslashes and a quote give n backslashes and a quote that groups; 2n + 1 give n
        // and a plain quote; backslashes before anything else stay as they are.
        size_t kept = p[backslashes] == L'"' ? backslashes / 2 : backslashes;
        bool plainQuote = p[backslashes] == L'"' && backslashes % 2 == 1;
        p += backslashes;
        if (length + kept + 2 > capacity)
            return false;
        wmemset(argument + length, L'\\', kept);
        length += kept;
        if (*p == L'"' && !plainQuote) {
            if (quoted && p[1] == L'"') {  // a doubled quote inside quotes is one plain quote
                argument[length++] = L'"';
                p++;
            }
            quoted = !quoted;
            p++;
        } else if (*p != L'\0' && (backslashes == 0 || plainQuote)) {
            argument[length++] = *p++;
        }
    }
    argument[length] = L'\0';
    *cursor = p;
    return true;
}

static bool SameName(const wchar_t* given, size_t length, const wchar_t* name)
{
    return wcslen(name) == length && _wcsnicmp(given, name, length) == 0;
}

// "driver,java" as Component bits; 0 for an empty list or an unknown name.
static unsigned ParseComponents(const wchar_t* list)
{
    static const wchar_t* const kNames[] = {L"driver", L"java", L"ie", L"netscape"};
    unsigned components = 0;

    for (const wchar_t* item = list;; item++) {
        const wchar_t* end = wcschr(item, L',');
        size_t length = end != NULL ? (size_t)(end - item) : wcslen(item);
        unsigned found = 0;
        for (unsigned i = 0; i < 4; i++) {
            if (SameName(item, length, kNames[i]))
                found = 1u << i;
        }
        if (found == 0)
            return 0;
        components |= found;
        if (end == NULL)
            return components;
        item = end;
    }
}

static bool ParseReader(const wchar_t* value, int* row)
{
    if (_wcsicmp(value, L"auto") == 0)
        *row = kReaderRowAuto;
    else if (wcscmp(value, L"1") == 0 || wcscmp(value, L"2") == 0)
        *row = value[0] - L'1';
    else
        return false;
    return true;
}

// A switch's value: after "=" in the same argument, or, where allowed, the next argument.
static bool TakeValue(const wchar_t* equals, bool nextAllowed, const wchar_t** cursor,
                      wchar_t* value, size_t capacity)
{
    if (equals != NULL)
        return *(equals + 1) != L'\0' && SUCCEEDED(StringCchCopyW(value, capacity, equals + 1));
    return nextAllowed && NextArgument(cursor, value, capacity);
}

static bool ParseSwitch(const wchar_t* argument, const wchar_t** cursor, Options* options)
{
    const wchar_t* name = argument + 1;
    const wchar_t* equals = wcschr(name, L'=');
    size_t length = equals != NULL ? (size_t)(equals - name) : wcslen(name);
    wchar_t value[kLongestArgument];

    if (argument[0] != L'/' && argument[0] != L'-')
        return false;
    if (equals == NULL && (SameName(name, length, L"quiet") || SameName(name, length, L"s")))
        return options->quiet = true;
    if (equals == NULL && (SameName(name, length, L"?") || SameName(name, length, L"help")))
        return options->help = true;
    if (equals == NULL && SameName(name, length, L"uninstall"))
        return options->uninstall = true;
    if (equals == NULL && SameName(name, length, L"norestart"))
        return true;  // the installer never restarts the PC itself
    if (SameName(name, length, L"log"))
        return TakeValue(equals, true, cursor, options->log, MAX_PATH + 1);
    if (SameName(name, length, L"driver-args"))
        return TakeValue(equals, true, cursor, options->driverArguments, kLongestArgument);
    if (SameName(name, length, L"components"))
        return TakeValue(equals, false, cursor, value, kLongestArgument) &&
               (options->components = ParseComponents(value)) != 0;
    if (SameName(name, length, L"reader"))
        return TakeValue(equals, false, cursor, value, kLongestArgument) &&
               ParseReader(value, &options->readerRow);
    return false;
}

bool ParseCommandLine(const wchar_t* commandLine, Options* options)
{
    const wchar_t* cursor = SkipProgramName(commandLine);
    wchar_t argument[kLongestArgument];

    ZeroMemory(options, sizeof(*options));
    options->components = ComponentDriver | ComponentJava;
    options->readerRow = kReaderRowAuto;
    bool understood = true;

    // Every argument is read even after one that is not understood, so that /quiet is known.
    while (NextArgument(&cursor, argument, kLongestArgument))
        understood = ParseSwitch(argument, &cursor, options) && understood;
    // An argument too long for its buffer leaves text behind the cursor.
    while (IsBlank(*cursor))
        cursor++;
    return understood && *cursor == L'\0';
}
