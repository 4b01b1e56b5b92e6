// Reader detection through PC/SC and the launch of the vendor's driver installer. winscard.dll
// is loaded at run time from the system directory only: the installer runs elevated from media
// that may sit in a downloads folder, where a planted winscard.dll must never be picked up.
#include "reader_driver.h"

#include <direct.h>
#include <windows.h>

#include "../deploy/text.h"
#include "../messages.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

const ReaderTypeEntry ReaderTypeTable[kReaderTypeCount] = {
    {"GemPC(Twin,Tokens)-Win7/XP/Vista/2000-64bit", 2},
    {"GemPC(Twin,Tokens)-Win8-64bit", 5},
};

const char kReaderFoundMessage[] = "Wykryto już zainstalowany w systemie czytnik rodziny GEMPLUS";
const char kInvalidReaderTypeMessage[] = "Nieprawidłowy typ czytnika";
const char kLaunchFailedFormat[] = "Błąd uruchomienia zewn. sterownika: Drivers\\%s";

static const char kSearchText[] = "GEMPLUS";
static const int32_t kSearchLength = sizeof(kSearchText) - 1;

typedef LONG(WINAPI* ListReadersFunction)(ULONG_PTR context, const char* groups, char* readers,
                                          DWORD* length);

const char* DriverLauncherName(ReaderType readerType)
{
    switch (readerType) {
    case 0: return "twin.bat";
    case 1: return "410.exe";
    case 2: return "twin64.bat";
    case 4: return "twin8.bat";
    case 5: return "twin8_64.bat";
    default: return NULL;
    }
}

// A NUL folds to a space and bytes of 128 and above stay negative, so neither ever matches.
static signed char Fold(char c)
{
    return (signed char)(c | 0x20);
}

bool ReaderListContainsGemplus(const char* list, int32_t length)
{
    int32_t position = 0;
    int32_t matched = 0;

    while (position < length && matched < kSearchLength) {
        if (Fold(list[position]) == Fold(kSearchText[matched])) {
            position++;
            matched++;
        } else if (matched == 0) {
            position++;
        } else {
            position = position - matched + 1;
            matched = 0;
        }
    }
    return matched == kSearchLength;
}

// Both calls go without a context; the second may report a shorter list than the first, never
// a longer one than the block holds.
static bool ListContainsGemplus(ListReadersFunction listReaders)
{
    DWORD length = 0;
    DWORD allocated;
    char* list;
    bool found;

    if (listReaders(0, NULL, NULL, &length) != 0 || length == 0)
        return false;
    allocated = length;
    list = (char*)GlobalAlloc(GMEM_FIXED, allocated);
    if (list == NULL)
        return false;
    found = listReaders(0, NULL, list, &length) == 0 &&
            ReaderListContainsGemplus(list, (int32_t)(length < allocated ? length : allocated));
    GlobalFree(list);
    return found;
}

bool DetectGemplusReader()
{
    HMODULE library;
    ListReadersFunction listReaders;
    bool found = false;

    library = LoadLibraryExA("winscard.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == NULL)
        return false;
    listReaders = (ListReadersFunction)(void*)GetProcAddress(library, "SCardListReadersA");
    if (listReaders != NULL)
        found = ListContainsGemplus(listReaders);
    FreeLibrary(library);
    return found;
}

static bool StartLauncher(const char* launcher)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;

    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    if (!CreateProcessA(launcher, NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Runs with Drivers as the current directory, so the launcher's bare name is found there.
static ComponentStatus LaunchDriver(ReaderType readerType, char* message, uint32_t capacity)
{
    const char* launcher = DriverLauncherName(readerType);

    if (launcher == NULL) {
        CopyText(message, capacity, kInvalidReaderTypeMessage);
        return StatusError;
    }
    if (!StartLauncher(launcher)) {
        FormatText(message, capacity, kLaunchFailedFormat, launcher);
        return StatusError;
    }
    return StatusOk;
}

ComponentStatus InstallReaderDriver(ReaderType readerType, char* message, uint32_t capacity)
{
    ComponentStatus status;

    if (DetectGemplusReader()) {
        CopyText(message, capacity, kReaderFoundMessage);
        return StatusWarning;
    }
    if (_chdir("Drivers") != 0) {
        CopyText(message, capacity, kMediaIncompleteMessage);
        return StatusError;
    }
    status = LaunchDriver(readerType, message, capacity);
    _chdir("..");
    return status;
}
