// Deletes ocf1.2.jar from the system directory on every run. Only a file that is there and
// cannot be deleted is a failure; its read-only attribute is deliberately left alone.
#include "components/stale_jar.h"

#include <windows.h>

#include "deploy/path_join.h"
#include "deploy/run_changes.h"
#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kStaleJarMessage[] = "Błąd kasowania pliku ocf1.2.jar w katalogu systemowym";

static int32_t ReportFailure(char* message, uint32_t capacity)
{
    CopyText(message, capacity, kStaleJarMessage);
    return 0;
}

int32_t RemoveStaleOcfJar(char* message, uint32_t capacity)
{
    char path[kPathCapacity];

    if (!DirectoryPath(GetSystemDirectoryW, path, sizeof(path)))
        return 1;
    if (!AppendPathComponent(path, sizeof(path), "ocf1.2.jar"))
        return ReportFailure(message, capacity);
    if (DeleteFileA(path)) {
        NoteChange();
        return 1;
    }
    if (GetLastError() == ERROR_FILE_NOT_FOUND)
        return 1;
    return ReportFailure(message, capacity);
}
