// The installation media are the folder that holds cardsetup.exe, whatever the current directory
// the program was started in: a startup script on a share, a tool without a working directory or
// a shortcut that names another folder all start it elsewhere. The steps find their files by
// paths relative to the current directory, so the program enters its own folder first.
#pragma once

#include <stddef.h>
#include <windows.h>

// The folder of a module path that GetModuleFileNameW wrote (length characters into a buffer of
// bufferCapacity), into folder (capacity characters): cut at the last backslash, which stays
// after a drive ("C:\"). False when the path was cut short by its buffer, holds no backslash,
// or the folder does not fit; folder is then empty.
bool FolderOfModulePath(const wchar_t* path, DWORD length, DWORD bufferCapacity, wchar_t* folder,
                        size_t capacity);

// Writes the folder of the running program into folder (capacity characters). False when its
// path is longer than the buffers allow: the current directory is then never taken for it.
bool FindProgramFolder(wchar_t* folder, size_t capacity);
