// Joining one component onto a path held in a caller's fixed buffer. The join knows the buffer's
// size and refuses what would not fit, so a long path is reported as a failure, never overrun.
#pragma once

#include <stddef.h>
#include <windows.h>

// Room for MAX_PATH characters and the terminator: the size of the installer's path buffers.
const size_t kPathCapacity = 261;

// Whether joining a component onto a path of that length needs a backslash between them: not
// after an empty path or one that already ends with a backslash.
bool NeedsSeparator(const char* path, size_t length);

// Appends component to path, with a backslash between them unless path already ends with one
// (only the backslash counts; a trailing forward slash does not). Nothing is normalised.
// Returns 1 when joined; 0 when the joined path and its terminator would not fit in capacity
// characters, and then path is left exactly as it was.
int AppendPathComponent(char* path, size_t capacity, const char* component);

// Writes the process's current directory as a full path into path. Returns 1 when it fit with
// its terminator and the ANSI code page holds its every letter; 0 otherwise, and then path is
// empty: where a look-alike would stand in for a letter, the path is not given at all.
int CurrentDirectoryPath(char* path, size_t capacity);

// GetWindowsDirectoryW or GetSystemDirectoryW.
typedef UINT(WINAPI* DirectoryFunction)(LPWSTR buffer, UINT size);

// Writes the directory that getDirectory names into path. Returns 1 when it fits and has an exact
// form in the ANSI code page; 0 otherwise.
int DirectoryPath(DirectoryFunction getDirectory, char* path, size_t capacity);

// Writes the directory that getDirectory names, joined with component, into path. Returns 1
// when both fit; 0 when the directory cannot be read, has no exact form in the ANSI code page,
// or the join would not fit.
int DirectoryPathOf(DirectoryFunction getDirectory, char* path, size_t capacity,
                    const char* component);
