// The recursive tree copy used for the OCF class tree and the Netscape jar directory. The tree
// is walked twice: first every file's copy is written beside its place and all are flushed
// together (copy_batch.h), then every file goes through the guarded copy, which moves each into
// place. Every path is built in a fixed buffer and refused if too long.
#include "deploy/tree_copy.h"

#include <string.h>
#include <windows.h>

#include "deploy/copy_batch.h"
#include "deploy/guarded_copy.h"
#include "deploy/path_join.h"
#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

// The pattern split at its last backslash: "ocf\*" gives "ocf\" and "*". A pattern without a
// backslash names entries of the current directory.
struct PatternParts {
    char directory[kPathCapacity];
    const char* wildcard;
};

static int SplitPattern(const char* pattern, PatternParts* parts)
{
    const char* lastSeparator = strrchr(pattern, '\\');
    size_t directoryLength = lastSeparator ? (size_t)(lastSeparator - pattern) + 1 : 0;

    if (directoryLength >= sizeof(parts->directory))
        return 0;
    memcpy(parts->directory, pattern, directoryLength);
    parts->directory[directoryLength] = '\0';
    parts->wildcard = pattern + directoryLength;
    return 1;
}

// Builds base\name in path; on a refused join, path holds as much of it as fits, for the report.
static int JoinInto(char* path, const char* base, const char* name)
{
    CopyText(path, kPathCapacity, base);
    if (strlen(base) < kPathCapacity && AppendPathComponent(path, kPathCapacity, name))
        return 1;
    FormatText(path, kPathCapacity, "%s%s%s", base, NeedsSeparator(base, strlen(base)) ? "\\" : "",
               name);
    return 0;
}

static CopyResult Fail(CopyResult result, const char* path, char* failedPathOut)
{
    if (failedPathOut != NULL)
        CopyText(failedPathOut, kPathCapacity, path);
    return result;
}

// What the walk does with each file: stages its copy, or puts the copy in place.
typedef CopyResult (*FileAction)(const char* source, const char* destination);

static CopyResult StageFile(const char* source, const char* destination)
{
    StageCopy(source, destination);
    return CopyDone;
}

static CopyResult PlaceFile(const char* source, const char* destination)
{
    return CopyFileGuarded(source, destination, 0);
}

static CopyResult WalkTree(const char* pattern, const char* destinationDir, int recurse,
                           FileAction action, char* failedPathOut);

static CopyResult CopyTreeFile(const PatternParts* parts, const char* name,
                               const char* destinationDir, FileAction action, char* failedPathOut)
{
    char sourcePath[kPathCapacity];
    char destinationPath[kPathCapacity];
    CopyResult result;

    if (!JoinInto(sourcePath, parts->directory, name))
        return Fail(CopyFailed, sourcePath, failedPathOut);
    if (!JoinInto(destinationPath, destinationDir, name))
        return Fail(CopyFailed, sourcePath, failedPathOut);
    result = action(sourcePath, destinationPath);
    if (result != CopyDone)
        return Fail(result, sourcePath, failedPathOut);
    return CopyDone;
}

static CopyResult CopyTreeDirectory(const PatternParts* parts, const char* name,
                                    const char* destinationDir, FileAction action,
                                    char* failedPathOut)
{
    char subdirectory[kPathCapacity];
    char subpattern[kPathCapacity];

    if (!JoinInto(subdirectory, destinationDir, name))
        return Fail(CopyDirFailed, subdirectory, failedPathOut);
    if (!CreateDirectoryA(subdirectory, NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Fail(CopyDirFailed, subdirectory, failedPathOut);
    if (!JoinInto(subpattern, parts->directory, name) ||
        !AppendPathComponent(subpattern, sizeof(subpattern), parts->wildcard))
        return Fail(CopyListFailed, "", failedPathOut);
    return WalkTree(subpattern, subdirectory, 1, action, failedPathOut);
}

static CopyResult CopyTreeEntry(const PatternParts* parts, const WIN32_FIND_DATAA* entry,
                                const char* destinationDir, int recurse, FileAction action,
                                char* failedPathOut)
{
    const char* name = entry->cFileName;

    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return CopyDone;
    if (!(entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return CopyTreeFile(parts, name, destinationDir, action, failedPathOut);
    if (!recurse)
        return CopyDone;
    return CopyTreeDirectory(parts, name, destinationDir, action, failedPathOut);
}

static CopyResult WalkTree(const char* pattern, const char* destinationDir, int recurse,
                           FileAction action, char* failedPathOut)
{
    PatternParts parts;
    WIN32_FIND_DATAA entry;
    HANDLE find;
    CopyResult result;

    if (failedPathOut != NULL)
        failedPathOut[0] = '\0';
    if (!SplitPattern(pattern, &parts))
        return CopyListFailed;
    find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return CopyListFailed;
    do {
        result = CopyTreeEntry(&parts, &entry, destinationDir, recurse, action, failedPathOut);
        if (result != CopyDone)
            goto done;
    } while (FindNextFileA(find, &entry));
    result = GetLastError() == ERROR_NO_MORE_FILES ? CopyDone : CopyListFailed;
done:
    FindClose(find);
    return result;
}

// The staging walk's own failures are the copying walk's to find and report.
CopyResult CopyTree(const char* pattern, const char* destinationDir, int recurse,
                    char* failedPathOut)
{
    CopyResult result;

    BeginCopyBatch();
    WalkTree(pattern, destinationDir, recurse, StageFile, NULL);
    FlushStagedCopies();
    result = WalkTree(pattern, destinationDir, recurse, PlaceFile, failedPathOut);
    EndCopyBatch();
    return result;
}
