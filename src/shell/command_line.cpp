// Switches are matched without regard to case and may begin with "/" or "-". A value follows
// "=", or comes as the next argument for the two that take any text (/log, /driver-args), where
// a switch that follows is never taken for it. Nothing is read past the line or an argument.
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

// Puts count copies of c at the argument's end while there is room for them and the
// terminator; counts them all the same, so that an argument too long is known by its length.
static void Append(wchar_t* argument, size_t capacity, size_t* length, wchar_t c, size_t count)
{
    for (; count > 0; count--, (*length)++) {
        if (*length + 1 < capacity)
            argument[*length] = c;
    }
}

ArgumentResult NextArgument(const wchar_t** cursor, wchar_t* argument, size_t capacity)
{
    const wchar_t* p = *cursor;
    size_t length = 0;
    bool quoted = false;

    while (IsBlank(*p))
        p++;
    if (*p == L'\0')
        return ArgumentNone;
    while (*p != L'\0' && (quoted || !IsBlank(*p))) {
        size_t backslashes = 0;
        while (p[backslashes] == L'\\')
            backslashes++;
        // 2n backslashes and a quote give n backslashes and a quote that groups; 2n + 1 give n
        // and a plain quote; backslashes before anything else stay as they are.
        size_t kept = p[backslashes] == L'"' ? backslashes / 2 : backslashes;
        bool plainQuote = p[backslashes] == L'"' && backslashes % 2 == 1;
        p += backslashes;
        Append(argument, capacity, &length, L'\\', kept);
        if (*p == L'"' && !plainQuote) {
            if (quoted && p[1] == L'"') {  // a doubled quote inside quotes is one plain quote
                Append(argument, capacity, &length, L'"', 1);
                p++;
            }
            quoted = !quoted;
            p++;
        } else if (*p != L'\0' && (backslashes == 0 || plainQuote)) {
            Append(argument, capacity, &length, *p++, 1);
        }
    }
    *cursor = p;
    if (capacity == 0)
        return ArgumentTooLong;
    argument[length < capacity ? length : 0] = L'\0';
    return length < capacity ? ArgumentRead : ArgumentTooLong;
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

// Minutes, or seconds with an "s" after them (the tests' short limits), as milliseconds: a
// whole number from 1 to a day's worth.
static bool ParseTimeLimit(const wchar_t* value, DWORD* milliseconds)
{
    DWORD number = 0;
    const wchar_t* digit = value;

    for (; *digit >= L'0' && *digit <= L'9' && number <= kLongestDriverWaitSeconds; digit++)
        number = number * 10 + (DWORD)(*digit - L'0');
    if (digit == value || number == 0)
        return false;
    if (digit[0] == L's' && digit[1] == L'\0' && number <= kLongestDriverWaitSeconds)
        *milliseconds = number * 1000;
    else if (digit[0] == L'\0' && number <= kLongestDriverWaitSeconds / 60)
        *milliseconds = number * 60000;
    else
        return false;
    return true;
}

// A value in the next argument; a switch that follows there (unquoted, it begins with "/" or
// "-") is no value, and stays to be read as the switch it is.
static bool TakeNextValue(const wchar_t** cursor, wchar_t* value, size_t capacity)
{
    const wchar_t* next = *cursor;

    while (IsBlank(*next))
        next++;
    if (*next == L'/' || *next == L'-')
        return false;
    return NextArgument(cursor, value, capacity) == ArgumentRead;
}

// A switch's value: after "=" in the same argument, or, where allowed, the next argument.
static bool TakeValue(const wchar_t* equals, bool nextAllowed, const wchar_t** cursor,
                      wchar_t* value, size_t capacity)
{
    if (equals != NULL)
        return *(equals + 1) != L'\0' && SUCCEEDED(StringCchCopyW(value, capacity, equals + 1));
    return nextAllowed && TakeNextValue(cursor, value, capacity);
}

// The switches without a value.
static bool ParseFlag(const wchar_t* name, size_t length, Options* options)
{
    if (SameName(name, length, L"quiet") || SameName(name, length, L"s"))
        return options->quiet = true;
    if (SameName(name, length, L"?") || SameName(name, length, L"help"))
        return options->help = true;
    if (SameName(name, length, L"uninstall"))
        return options->uninstall = true;
    return SameName(name, length, L"norestart");  // the installer never restarts the PC itself
}

bool ParseSwitch(const wchar_t* argument, const wchar_t** cursor, Options* options)
{
    if (argument[0] != L'/' && argument[0] != L'-')
        return false;
    const wchar_t* name = argument + 1;
    const wchar_t* equals = wcschr(name, L'=');
    size_t length = equals != NULL ? (size_t)(equals - name) : wcslen(name);
    wchar_t value[kLongestArgument];

    if (equals == NULL && ParseFlag(name, length, options))
        return true;
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
    if (SameName(name, length, L"driver-timeout"))
        return TakeValue(equals, false, cursor, value, kLongestArgument) &&
               ParseTimeLimit(value, &options->driverTimeLimitMs);
    return false;
}

bool ParseCommandLine(const wchar_t* commandLine, Options* options)
{
    const wchar_t* cursor = SkipProgramName(commandLine);
    wchar_t argument[kLongestArgument];
    ArgumentResult result;
    bool understood = true;

    ZeroMemory(options, sizeof(*options));
    options->components = ComponentDriver | ComponentJava;
    options->readerRow = kReaderRowAuto;
    options->driverTimeLimitMs = kDefaultDriverWaitMinutes * 60000;
    // Every argument is read, even after one that is refused or too long, so that a /quiet
    // further on is known and no window waits for a person who is not there.
    while ((result = NextArgument(&cursor, argument, kLongestArgument)) != ArgumentNone)
        understood = result == ArgumentRead && ParseSwitch(argument, &cursor, options) &&
                     understood;
    return understood;
}
