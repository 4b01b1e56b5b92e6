// A log file is made with CREATE_NEW and FILE_FLAG_OPEN_REPARSE_POINT: a name that is taken,
// whether by a file, a folder or a link, fails instead of being followed, and the next random
// name is tried. The handle is checked after the open, since a check of the name races it.
#include "deploy/log_file.h"

#include <ntsecapi.h>
#include <sddl.h>
#include <aclapi.h>

#include <wchar.h>

#include <strsafe.h>  // last: makes the unbounded string calls compile errors

// SYSTEM and Administrators only, owned by Administrators, not inheriting from the parent.
static const wchar_t kAdministratorsOnly[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
static const int kNameAttempts = 8;

static TempPathFunction LookUpTempPath2()
{
    return (TempPathFunction)(void*)GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                                   "GetTempPath2W");
}

TempPathFunction g_tempPath2 = LookUpTempPath2();
RandomFunction g_randomBytes = RtlGenRandom;

bool IsPlainFile(DWORD attributes, DWORD links)
{
    return (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
           links == 1;
}

bool IsPlainFileHandle(HANDLE file)
{
    FILE_ATTRIBUTE_TAG_INFO tag;
    BY_HANDLE_FILE_INFORMATION information;

    return GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof(tag)) &&
           GetFileInformationByHandle(file, &information) &&
           IsPlainFile(tag.FileAttributes | information.dwFileAttributes,
                       information.nNumberOfLinks);
}

static bool IsOwnAccount(PSID owner)
{
    HANDLE token;
    BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size;
    bool own = false;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    if (GetTokenInformation(token, TokenUser, user, sizeof(user), &size))
        own = EqualSid(((TOKEN_USER*)user)->User.Sid, owner) != FALSE;
    CloseHandle(token);
    return own;
}

bool IsTrustedOwner(PSID owner)
{
    return IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(owner, WinLocalSystemSid) || IsOwnAccount(owner);
}

// The folder as it is now: a directory, not a reparse point, of a trusted owner.
static bool IsTrustedFolder(const wchar_t* path)
{
    HANDLE folder;
    FILE_ATTRIBUTE_TAG_INFO tag;
    PSID owner;
    PSECURITY_DESCRIPTOR security = NULL;
    bool trusted = false;

    if ((GetFileAttributesW(path) & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    folder = CreateFileW(path, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                         NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    if (!GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &tag, sizeof(tag)) ||
        (tag.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) !=
            FILE_ATTRIBUTE_DIRECTORY)
        goto done;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, NULL, NULL,
                        NULL, &security) == ERROR_SUCCESS)
        trusted = IsTrustedOwner(owner);
done:
    if (security != NULL)
        LocalFree(security);
    CloseHandle(folder);
    return trusted;
}

bool PrepareProtectedFolder(const wchar_t* path)
{
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), NULL, FALSE};
    bool made;

    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kAdministratorsOnly, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, NULL))
        return false;
    made = CreateDirectoryW(path, &attributes) || GetLastError() == ERROR_ALREADY_EXISTS;
    LocalFree(attributes.lpSecurityDescriptor);
    return made && IsTrustedFolder(path);
}

bool DefaultLogFolder(bool system, wchar_t* folder, size_t capacity)
{
    wchar_t windows[MAX_PATH + 1];

    if (g_tempPath2 != NULL)
        return g_tempPath2((DWORD)capacity, folder) != 0;
    if (!system)
        return GetTempPathW((DWORD)capacity, folder) != 0;
    return GetSystemWindowsDirectoryW(windows, MAX_PATH + 1) != 0 &&
           SUCCEEDED(StringCchPrintfW(folder, capacity, L"%s\\Temp\\cardsetup", windows)) &&
           PrepareProtectedFolder(folder) && SUCCEEDED(StringCchCatW(folder, capacity, L"\\"));
}

// Whether CREATE_NEW failed because something holds the name: a file, a folder or a link.
static bool NameTaken(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
           error == ERROR_ACCESS_DENIED;
}

// Creates a new file named folder + prefix + random hexadecimal digits + suffix, trying other
// names while one is taken; its path in path.
static HANDLE CreateNewFile(const wchar_t* folder, const wchar_t* prefix, const wchar_t* suffix,
                            DWORD access, DWORD share, wchar_t* path, size_t capacity)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    unsigned char random[8];

    for (int attempt = 0; attempt < kNameAttempts; attempt++) {
        if (!g_randomBytes(random, sizeof(random)) ||
            FAILED(StringCchPrintfW(path, capacity, L"%s%s%02x%02x%02x%02x%02x%02x%02x%02x%s",
                                    folder, prefix, random[0], random[1], random[2], random[3],
                                    random[4], random[5], random[6], random[7], suffix)))
            return INVALID_HANDLE_VALUE;
        file = CreateFileW(path, access, share, NULL, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        if (file != INVALID_HANDLE_VALUE || !NameTaken(GetLastError()))
            break;
    }
    if (file != INVALID_HANDLE_VALUE && !IsPlainFileHandle(file)) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    return file;
}

HANDLE CreateDefaultLogFile(bool system, wchar_t* path, size_t capacity)
{
    wchar_t folder[MAX_PATH + 1];

    if (!DefaultLogFolder(system, folder, MAX_PATH + 1))
        return INVALID_HANDLE_VALUE;
    return CreateNewFile(folder, L"cardsetup-", L".log", GENERIC_WRITE, FILE_SHARE_READ, path,
                         capacity);
}

// The log is renamed into place while open, which needs delete access, and readers that do not
// share deletion (Notepad, CMTrace) could then not read it during the run. So it is opened again
// by its name for writing alone; only the very file that was moved there is taken (by its file
// index: the name fixes the volume, whose serial number Wine does not give for the first handle).
static HANDLE OpenAgainForWriting(HANDLE file, const wchar_t* path)
{
    BY_HANDLE_FILE_INFORMATION moved;
    BY_HANDLE_FILE_INFORMATION found;
    HANDLE again;
    bool known = GetFileInformationByHandle(file, &moved) != 0;

    CloseHandle(file);
    if (!known)
        return INVALID_HANDLE_VALUE;
    again = CreateFileW(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (again != INVALID_HANDLE_VALUE &&
        (!GetFileInformationByHandle(again, &found) ||
         found.nFileIndexHigh != moved.nFileIndexHigh ||
         found.nFileIndexLow != moved.nFileIndexLow || !IsPlainFileHandle(again))) {
        CloseHandle(again);
        again = INVALID_HANDLE_VALUE;
    }
    return again;
}

HANDLE CreateNamedLogFile(const wchar_t* path)
{
    wchar_t folder[MAX_PATH + 1];
    wchar_t beside[MAX_PATH + 1];
    const wchar_t* name = path;
    HANDLE file;

    for (const wchar_t* letter = path; *letter != L'\0'; letter++)
        if (*letter == L'\\' || *letter == L'/' || *letter == L':')
            name = letter + 1;
    if (FAILED(StringCchCopyNW(folder, MAX_PATH + 1, path, (size_t)(name - path))))
        return INVALID_HANDLE_VALUE;
    // The move needs the file shared for deletion, as it is renamed while open.
    file = CreateNewFile(folder, L"cardsetup-", L".tmp", GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_DELETE, beside, MAX_PATH + 1);
    if (file != INVALID_HANDLE_VALUE && !MoveFileExW(beside, path, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(beside);
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file != INVALID_HANDLE_VALUE ? OpenAgainForWriting(file, path) : file;
}
