// Path joining for the deployment steps. Paths are ANSI strings in fixed buffers; an empty path
// joined with a component gives the component itself (relative to the current directory).
#include "deploy/path_join.h"

#include <string.h>
#include <windows.h>

#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

bool NeedsSeparator(const char* path, size_t length)
{
    return length > 0 && path[length - 1] != '\\';
}

int AppendPathComponent(char* path, size_t capacity, const char* component)
{
    size_t pathLength;
    size_t componentLength;
    size_t separatorLength;

    if (path == NULL || component == NULL || capacity == 0)
        return 0;
    pathLength = strnlen(path, capacity);
    if (pathLength == capacity)
        return 0;
    separatorLength = NeedsSeparator(path, pathLength) ? 1 : 0;
    componentLength = strlen(component);
    if (pathLength + separatorLength + componentLength >= capacity)
        return 0;
    if (separatorLength)
        path[pathLength] = '\\';
    memcpy(path + pathLength + separatorLength, component, componentLength + 1);
    return 1;
}

// The system gives a directory in Unicode; the ANSI form of it is a look-alike where the code page
// lacks a letter, so it is converted here, exactly or not at all.
int CurrentDirectoryPath(char* path, size_t capacity)
{
    wchar_t directory[MAX_PATH + 1];
    DWORD length;

    if (path == NULL || capacity == 0)
        return 0;
    length = GetCurrentDirectoryW(MAX_PATH + 1, directory);
    if (length == 0 || length > MAX_PATH) {
        path[0] = '\0';
        return 0;
    }
    return PathFromWide(path, capacity, directory);
}

int DirectoryPath(DirectoryFunction getDirectory, char* path, size_t capacity)
{
    wchar_t directory[MAX_PATH + 1];
    UINT length;

    if (path == NULL || capacity == 0)
        return 0;
    length = getDirectory(directory, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        path[0] = '\0';
        return 0;
    }
    return PathFromWide(path, capacity, directory);
}

int DirectoryPathOf(DirectoryFunction getDirectory, char* path, size_t capacity,
                    const char* component)
{
    return DirectoryPath(getDirectory, path, capacity) &&
           AppendPathComponent(path, capacity, component);
}
