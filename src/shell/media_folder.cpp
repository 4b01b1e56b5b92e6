// GetModuleFileNameW gives the program's path in Unicode, exactly as Windows holds it: the ANSI
// form could name a look-alike folder. A path cut short by the buffer is refused, as its folder
// would be another one.
#include "shell/media_folder.h"

#include <wchar.h>

#include <strsafe.h>  // last: makes the unbounded string calls compile errors

bool FolderOfModulePath(const wchar_t* path, DWORD length, DWORD bufferCapacity, wchar_t* folder,
                        size_t capacity)
{
    size_t cut = length < bufferCapacity ? length : 0;

    if (capacity == 0)
        return false;
    while (cut > 0 && path[cut - 1] != L'\\')
        cut--;
    // The backslash goes, but after a drive: "C:" alone is that drive's own current directory.
    if (cut > 1 && path[cut - 2] != L':')
        cut--;
    if (cut == 0 || FAILED(StringCchCopyNW(folder, capacity, path, cut))) {
        folder[0] = L'\0';
        return false;
    }
    return true;
}

bool FindProgramFolder(wchar_t* folder, size_t capacity)
{
    wchar_t path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH + 1);

    return FolderOfModulePath(path, length, MAX_PATH + 1, folder, capacity);
}
