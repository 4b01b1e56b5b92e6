// A stand-in for the PC/SC library winscard.dll, copied over the test prefix's system copy.
// Each test chooses the reader list and the failure through the environment of its process:
// CARDSETUP_SCARD_READERS holds reader names separated by '|', CARDSETUP_SCARD_MODE one of
// length-fails, list-fails, empty (a list without names), unterminated (the count leaves out
// the closing NULs), shrinks (the second call fills in the whole list but counts only its first
// name, as when a reader is removed between the calls) or nothing.
#include <windows.h>

#include <string.h>

#include <string>

static const LONG kNoReadersAvailable = (LONG)0x8010002E;
static const LONG kInternalError = (LONG)0x80100001;

#ifndef PLANTED_COPY
static std::string Variable(const char* name)
{
    char value[1024];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) ? std::string(value, length) : std::string();
}
#endif

static std::string ReaderList(const std::string& names)
{
    std::string list = names;
    for (char& c : list)
        if (c == '|')
            c = '\0';
    list.push_back('\0');
    list.push_back('\0');
    return list;
}

extern "C" __declspec(dllexport) LONG WINAPI SCardListReadersA(ULONG_PTR, const char*,
                                                               char* readers, DWORD* length)
{
#ifdef PLANTED_COPY
    std::string names = "GEMPLUS Planted Reader 0";
    std::string mode;
#else
    std::string names = Variable("CARDSETUP_SCARD_READERS");
    std::string mode = Variable("CARDSETUP_SCARD_MODE");
#endif
    std::string list;
    DWORD count;

    if (names.empty() && mode != "empty")
        return kNoReadersAvailable;
    list = ReaderList(names);
    count = (DWORD)list.size() - (mode == "unterminated" ? 2 : 0);
    if (readers == NULL)
        return mode == "length-fails" ? kInternalError : (*length = count, 0);
    if (mode == "list-fails" || *length < count)
        return kInternalError;
    memcpy(readers, list.data(), count);
    *length = mode == "shrinks" ? (DWORD)strlen(list.data()) + 2 : count;
    return 0;
}
