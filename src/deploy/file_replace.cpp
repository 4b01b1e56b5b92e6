// Writing beside the destination and moving into place. The temporary file is flushed before the
// move and the move is written through, so neither a killed process nor a power cut can leave a
// destination that holds part of its new bytes: it holds the old file or the whole new one.
#include "deploy/file_replace.h"

#include <ntsecapi.h>
#include <string.h>

#include "deploy/copy_batch.h"
#include "deploy/pending_renames.h"
#include "deploy/run_log.h"
#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

DurableFileCalls g_durableFileCalls = {FlushFileBuffers, MoveFileExA, SetFileSecurityA};

static DWORD OpenForChange(const char* path);
DWORD (*g_openForChange)(const char* path) = OpenForChange;

// What a replacement keeps of the file it replaces, as CopyFile over it kept it: who owns it,
// who may do what (and whether that is inherited), and its integrity label.
static const SECURITY_INFORMATION kKeptSecurity = OWNER_SECURITY_INFORMATION |
                                                  GROUP_SECURITY_INFORMATION |
                                                  DACL_SECURITY_INFORMATION |
                                                  LABEL_SECURITY_INFORMATION;

static const char kTemporaryPrefix[] = "~ocf";
static const char kTemporarySuffix[] = ".tmp";
static const size_t kTemporaryDigits = 8;
// Under Wine each read and write costs a call of its own: a copy in blocks of a megabyte makes
// 64 times fewer calls for a large file than xcopy's 64 KiB. A comparison stops at the first
// difference, and reads in smaller blocks.
static const DWORD kCopyBlock = 1024 * 1024;
static const DWORD kCompareBlock = 64 * 1024;
// A virus scanner opens a new file for a moment after it appears; a few short tries outlast it.
static const int kMoveAttempts = 4;
static const DWORD kMovePauseMs = 150;

// The error the last call left, or fallback where it left none: a failure never reads as success.
static DWORD LastErrorOr(DWORD fallback)
{
    DWORD error = GetLastError();

    return error != ERROR_SUCCESS ? error : fallback;
}

static bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

bool IsTemporaryName(const char* name)
{
    size_t prefix = sizeof(kTemporaryPrefix) - 1;
    size_t suffix = sizeof(kTemporarySuffix) - 1;

    if (strlen(name) != prefix + kTemporaryDigits + suffix ||
        strncmp(name, kTemporaryPrefix, prefix) != 0 ||
        strcmp(name + prefix + kTemporaryDigits, kTemporarySuffix) != 0)
        return false;
    for (size_t i = prefix; i < prefix + kTemporaryDigits; i++) {
        if (!IsHexDigit(name[i]))
            return false;
    }
    return true;
}

// The digits of a temporary name are random: a process ID repeats across runs (a new Wine server
// counts from the same start, Windows reuses them), and a killed run's leftover must never pass
// for the next run's own. What waits for the restart is told by the pending renames instead.
static DWORD s_digitsStart = 0;
static DWORD s_digitsTaken = 0;
static bool s_digitsDrawn = false;

DWORD PeekTemporaryDigits()
{
    if (!s_digitsDrawn && !RtlGenRandom(&s_digitsStart, sizeof(s_digitsStart)))
        s_digitsStart = GetTickCount() ^ (GetCurrentProcessId() << 16);
    s_digitsDrawn = true;
    return s_digitsStart + s_digitsTaken;
}

static DWORD RandomDigits()
{
    DWORD digits = PeekTemporaryDigits();

    s_digitsTaken++;
    return digits;
}

// The length of path's directory part, its last backslash included (0 for a bare name).
static size_t DirectoryLength(const char* path)
{
    const char* slash = strrchr(path, '\\');

    return slash != NULL ? (size_t)(slash - path) + 1 : 0;
}

void RemoveLeftoverTemporaries(const char* path)
{
    char pattern[MAX_PATH + 1];
    char found[MAX_PATH + 1];
    size_t directory = DirectoryLength(path);
    WIN32_FIND_DATAA entry;
    HANDLE find;

    if (directory >= sizeof(pattern) ||
        !FormatText(pattern, sizeof(pattern), "%.*s%s*%s", (int)directory, path,
                    kTemporaryPrefix, kTemporarySuffix) ||
        (find = FindFirstFileA(pattern, &entry)) == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            IsTemporaryName(entry.cFileName) &&
            FormatText(found, sizeof(found), "%.*s%s", (int)directory, path, entry.cFileName) &&
            !IsStagedCopy(found) && !IsPendingSource(found))
            DeleteFileA(found);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

static const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

static HANDLE OpenToRead(const char* path)
{
    return CreateFileA(path, GENERIC_READ, kShareAll, NULL, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, NULL);
}

// Reads up to size bytes, fewer only at the file's end.
static bool ReadBlock(HANDLE file, char* block, DWORD size, DWORD* read)
{
    DWORD got;

    *read = 0;
    while (*read < size) {
        if (!ReadFile(file, block + *read, size - *read, &got, NULL))
            return false;
        if (got == 0)
            break;
        *read += got;
    }
    return true;
}

ContentComparison CompareFileContent(const char* first, const char* second)
{
    static char blockA[kCompareBlock];
    static char blockB[kCompareBlock];
    HANDLE a = OpenToRead(first);
    HANDLE b = OpenToRead(second);
    DWORD readA;
    DWORD readB;
    ContentComparison result = ContentUnreadable;

    while (a != INVALID_HANDLE_VALUE && b != INVALID_HANDLE_VALUE &&
           ReadBlock(a, blockA, kCompareBlock, &readA) &&
           ReadBlock(b, blockB, kCompareBlock, &readB)) {
        if (readA != readB || memcmp(blockA, blockB, readA) != 0) {
            result = ContentDifferent;
            break;
        }
        if (readA < kCompareBlock) {
            result = ContentSame;
            break;
        }
    }
    if (a != INVALID_HANDLE_VALUE)
        CloseHandle(a);
    if (b != INVALID_HANDLE_VALUE)
        CloseHandle(b);
    return result;
}

bool SameFileContent(const char* first, const char* second)
{
    return CompareFileContent(first, second) == ContentSame;
}

// A new temporary file beside destination, its name in temporary (kPathCapacity characters).
static HANDLE CreateTemporaryBeside(const char* destination, char* temporary, size_t capacity)
{
    size_t directory = DirectoryLength(destination);
    HANDLE file = INVALID_HANDLE_VALUE;

    for (int attempt = 0; attempt < 256 && file == INVALID_HANDLE_VALUE; attempt++) {
        DWORD unique = RandomDigits();
        if (directory >= capacity ||
            !FormatText(temporary, capacity, "%.*s%s%08lx%s", (int)directory, destination,
                        kTemporaryPrefix, unique, kTemporarySuffix))
            return INVALID_HANDLE_VALUE;
        file = CreateFileA(temporary, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           NULL);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return INVALID_HANDLE_VALUE;
    }
    return file;
}

static bool CopyBytes(HANDLE from, HANDLE to)
{
    static char block[kCopyBlock];
    DWORD read;
    DWORD written;

    for (;;) {
        if (!ReadFile(from, block, kCopyBlock, &read, NULL))
            return false;
        if (read == 0)
            return true;
        if (!WriteFile(to, block, read, &written, NULL) || written != read)
            return false;
    }
}

static DWORD OpenForChange(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE | DELETE, kShareAll, NULL, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, NULL);

    if (file == INVALID_HANDLE_VALUE)
        return LastErrorOr(ERROR_ACCESS_DENIED);
    CloseHandle(file);
    return ERROR_SUCCESS;
}

// path's security descriptor, as much of kKeptSecurity as can be read (*what says which), in a
// block for LocalFree; NULL when none can be read.
static PSECURITY_DESCRIPTOR ReadSecurity(const char* path, SECURITY_INFORMATION* what)
{
    const SECURITY_INFORMATION tries[] = {kKeptSecurity,
                                          kKeptSecurity & ~LABEL_SECURITY_INFORMATION};
    PSECURITY_DESCRIPTOR descriptor;
    DWORD needed;

    for (SECURITY_INFORMATION information : tries) {
        needed = 0;
        GetFileSecurityA(path, information, NULL, 0, &needed);
        if (needed == 0 || (descriptor = LocalAlloc(LPTR, needed)) == NULL)
            continue;
        if (GetFileSecurityA(path, information, descriptor, needed, &needed)) {
            *what = information;
            return descriptor;
        }
        LocalFree(descriptor);
    }
    return NULL;
}

// Setting another account as a file's owner needs the restore privilege, which an
// administrator's token holds but does not enable. Returns the token to restore, or NULL.
static HANDLE EnableRestorePrivilege(TOKEN_PRIVILEGES* previous)
{
    TOKEN_PRIVILEGES wanted = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    DWORD size = sizeof(*previous);
    HANDLE token;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return NULL;
    if (!LookupPrivilegeValueW(NULL, L"SeRestorePrivilege", &wanted.Privileges[0].Luid) ||
        !AdjustTokenPrivileges(token, FALSE, &wanted, sizeof(*previous), previous, &size) ||
        GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
        CloseHandle(token);
        return NULL;
    }
    return token;
}

// Gives temporary the security of from: all of it where Windows lets the installer set the
// owner, else what protects the file (the DACL and the label, else the DACL alone). Where
// nothing can be read or set, the temporary keeps what its folder gives it.
static void KeepSecurity(const char* from, const char* temporary)
{
    SECURITY_INFORMATION what = 0;
    PSECURITY_DESCRIPTOR descriptor = ReadSecurity(from, &what);
    TOKEN_PRIVILEGES previous;
    HANDLE token;

    if (descriptor == NULL)
        return;
    token = EnableRestorePrivilege(&previous);
    if (!g_durableFileCalls.setSecurity(temporary, what, descriptor) &&
        !g_durableFileCalls.setSecurity(
            temporary, what & ~(OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION), descriptor))
        g_durableFileCalls.setSecurity(temporary, DACL_SECURITY_INFORMATION, descriptor);
    if (token != NULL) {
        AdjustTokenPrivileges(token, FALSE, &previous, 0, NULL, NULL);
        CloseHandle(token);
    }
    LocalFree(descriptor);
    // A copy is never read-only. Windows keeps that mark apart from the DACL; Wine keeps both as
    // the Unix permissions, so a read-only file's DACL would mark its copy read-only there.
    DWORD attributes = GetFileAttributesA(temporary);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(temporary, FILE_ATTRIBUTE_NORMAL);
}

// Writes source's bytes and last-write time into a new temporary file beside destination, with
// the security of securityFrom where given. The file is flushed to the disk and closed, or, where
// unflushed is given, left open and unflushed there, for a batch to flush. On success temporary
// names it; on failure nothing of it is left.
static DWORD WriteTemporaryCopy(const char* source, const char* destination,
                                const char* securityFrom, HANDLE* unflushed, char* temporary,
                                size_t capacity)
{
    FILETIME written;
    HANDLE from = INVALID_HANDLE_VALUE;
    HANDLE to = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_SUCCESS;

    temporary[0] = '\0';
    from = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    // Not GetFileInformationByHandle: it also asks for the volume, which Wine answers slowly.
    if (from == INVALID_HANDLE_VALUE || !GetFileTime(from, NULL, NULL, &written))
        goto failed;
    to = CreateTemporaryBeside(destination, temporary, capacity);
    if (to == INVALID_HANDLE_VALUE || !CopyBytes(from, to) || !SetFileTime(to, NULL, NULL, &written))
        goto failed;
    if (securityFrom != NULL)
        KeepSecurity(securityFrom, temporary);
    if (unflushed != NULL) {
        *unflushed = to;
        to = INVALID_HANDLE_VALUE;
    } else if (!g_durableFileCalls.flush(to)) {
        goto failed;
    }
    goto done;
failed:
    error = LastErrorOr(ERROR_WRITE_FAULT);
done:
    if (from != INVALID_HANDLE_VALUE)
        CloseHandle(from);
    if (to != INVALID_HANDLE_VALUE)
        CloseHandle(to);
    if (error != ERROR_SUCCESS && to != INVALID_HANDLE_VALUE)
        DeleteFileA(temporary);
    return error;
}

static bool RefusedForAMoment(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION;
}

// A bit for each drive letter that a file was moved into place on during the run.
static DWORD g_movedOnVolumes = 0;

static void NoteVolume(const char* path)
{
    char letter = VolumeLetter(path);

    if (letter != '\0')
        g_movedOnVolumes |= 1u << (letter - 'a');
}

// Flushes an open file or volume and closes it.
static bool FlushAndClose(HANDLE handle)
{
    bool flushed;

    if (handle == INVALID_HANDLE_VALUE)
        return false;
    flushed = g_durableFileCalls.flush(handle) != FALSE;
    CloseHandle(handle);
    return flushed;
}

char VolumeLetter(const char* path)
{
    char letter = (char)(path[0] | 0x20);

    return letter >= 'a' && letter <= 'z' && path[1] == ':' ? letter : '\0';
}

bool FlushVolume(char letter)
{
    wchar_t volume[] = L"\\\\.\\A:";

    volume[4] = (wchar_t)(L'A' + (letter - 'a'));
    return FlushAndClose(CreateFileW(volume, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     NULL, OPEN_EXISTING, 0, NULL));
}

void FlushWrittenVolumes()
{
    for (int letter = 0; letter < 26; letter++) {
        if (g_movedOnVolumes & (1u << letter))
            FlushVolume((char)('a' + letter));
    }
    g_movedOnVolumes = 0;
}

static DWORD Move(const char* existing, const char* target, DWORD flags)
{
    DWORD error = ERROR_SUCCESS;

    NoteVolume(target);
    for (int attempt = 1; attempt <= kMoveAttempts; attempt++) {
        if (g_durableFileCalls.move(existing, target, flags | MOVEFILE_WRITE_THROUGH))
            return ERROR_SUCCESS;
        error = LastErrorOr(ERROR_WRITE_FAULT);
        if (!RefusedForAMoment(error) || attempt == kMoveAttempts)
            break;
        Sleep(kMovePauseMs);
    }
    return error;
}

DWORD MoveIntoPlace(const char* existing, const char* target)
{
    return Move(existing, target, MOVEFILE_REPLACE_EXISTING);
}

static DWORD PlaceCopy(const char* source, const char* destination, const char* securityFrom,
                       DWORD moveFlags)
{
    char temporary[MAX_PATH + 1];
    DWORD error = ERROR_SUCCESS;

    if (!TakeStagedCopy(destination, temporary, sizeof(temporary))) {
        RemoveLeftoverTemporaries(destination);
        error = WriteTemporaryCopy(source, destination, securityFrom, NULL, temporary,
                                   sizeof(temporary));
    }
    if (error == ERROR_SUCCESS && (error = Move(temporary, destination, moveFlags)) != ERROR_SUCCESS)
        DeleteFileA(temporary);
    SetLastError(error);
    return error;
}

// Whether attributes, as GetFileAttributesA gave them, are those of a file that is there.
static bool IsExistingFile(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD ReplaceWithCopy(const char* source, const char* destination, bool* changed)
{
    DWORD attributes;
    bool exists;
    DWORD error;

    if (changed != NULL)
        *changed = false;
    if (CancelPendingChanges(destination))
        LogPaths("Cofnięto zmianę czekającą na ponowne uruchomienie", destination);
    attributes = GetFileAttributesA(destination);
    exists = IsExistingFile(attributes);
    if (exists && SameFileContent(source, destination))
        return ERROR_SUCCESS;
    // Refused as CopyFile over it is refused: for its marks, or for permissions that forbid
    // writing it (a move alone would pass over those where the folder allows it).
    if (exists && ((attributes & kAttributesThatRefuseReplacement) ||
                   g_openForChange(destination) == ERROR_ACCESS_DENIED)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return ERROR_ACCESS_DENIED;
    }
    error = PlaceCopy(source, destination, exists ? destination : NULL, MOVEFILE_REPLACE_EXISTING);
    if (changed != NULL)
        *changed = error == ERROR_SUCCESS;
    return error;
}

DWORD WriteStagedCopy(const char* source, const char* destination, bool newFolder,
                      char* temporary, size_t capacity, HANDLE* unflushed)
{
    DWORD attributes = GetFileAttributesA(destination);
    bool exists = IsExistingFile(attributes);

    if (exists && ((attributes & kAttributesThatRefuseReplacement) ||
                   SameFileContent(source, destination)))
        return ERROR_ALREADY_EXISTS;
    if (newFolder)
        RemoveLeftoverTemporaries(destination);
    return WriteTemporaryCopy(source, destination, exists ? destination : NULL, unflushed,
                              temporary, capacity);
}

DWORD ReplaceWithBytes(const char* destination, const void* bytes, DWORD size)
{
    char temporary[MAX_PATH + 1];
    HANDLE file;
    DWORD written;
    DWORD error = ERROR_SUCCESS;

    RemoveLeftoverTemporaries(destination);
    file = CreateTemporaryBeside(destination, temporary, sizeof(temporary));
    if (file == INVALID_HANDLE_VALUE)
        return LastErrorOr(ERROR_WRITE_FAULT);
    if (!WriteFile(file, bytes, size, &written, NULL) || written != size ||
        !g_durableFileCalls.flush(file))
        error = LastErrorOr(ERROR_WRITE_FAULT);
    CloseHandle(file);
    if (error == ERROR_SUCCESS)
        error = Move(temporary, destination, MOVEFILE_REPLACE_EXISTING);
    if (error != ERROR_SUCCESS)
        DeleteFileA(temporary);
    return error;
}

DWORD PlaceNewCopy(const char* source, const char* destination)
{
    if (GetFileAttributesA(destination) != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return ERROR_ALREADY_EXISTS;
    }
    return PlaceCopy(source, destination, source, 0);
}

DWORD ReplaceAtRestart(const char* source, const char* destination)
{
    char temporary[MAX_PATH + 1];
    DWORD error = WriteTemporaryCopy(source, destination, destination, NULL, temporary,
                                     sizeof(temporary));

    if (error != ERROR_SUCCESS)
        return error;
    if (!g_durableFileCalls.move(temporary, destination,
                                 MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
        error = LastErrorOr(ERROR_WRITE_FAULT);
        DeleteFileA(temporary);
    }
    FlushPendingChanges();
    return error;
}

DWORD MoveAtRestart(const char* existing, const char* target)
{
    DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | (existing != NULL ? MOVEFILE_REPLACE_EXISTING : 0);
    BOOL moved = existing != NULL ? g_durableFileCalls.move(existing, target, flags)
                                  : g_durableFileCalls.move(target, NULL, flags);
    DWORD error = moved ? ERROR_SUCCESS : LastErrorOr(ERROR_WRITE_FAULT);

    FlushPendingChanges();
    return error;
}
