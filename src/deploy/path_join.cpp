// Path joining for the deployment steps. Paths are ANSI strings in fixed buffers; an empty path
// joined with a component gives the component itself (relative to the current directory).
#include "deploy/path_join.h"

#include <string.h>
#include <windows.h>
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

int CurrentDirectoryPath(char* path, size_t capacity)
{
    DWORD length;

    if (path == NULL || capacity == 0)
        return 0;
    length = GetCurrentDirectoryA((DWORD)capacity, path);
    if (length == 0 || length >= capacity) {
        path[0] = '\0';
        return 0;
    }
    return 1;
}

int DirectoryPathOf(DirectoryFunction getDirectory, char* path, size_t capacity,
                    const char* component)
{
    UINT length;

    if (path == NULL || capacity == 0)
        return 0;
    length = getDirectory(path, (UINT)capacity);
    if (length == 0 || length >= capacity)
        return 0;
    return AppendPathComponent(path, capacity, component);
}
