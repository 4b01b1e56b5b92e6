// Registry helpers for the tests, on the real registry of the test prefix.
#include "registry_keys.h"

#include <string.h>
#include <winternl.h>

#include <vector>

bool SetRegistryValue(HKEY root, const std::string& key, const char* name, DWORD type,
                      const void* data, DWORD size)
{
    HKEY handle;
    LONG result;

    if (RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, NULL,
                        &handle, NULL) != ERROR_SUCCESS)
        return false;
    result = RegSetValueExA(handle, name, 0, type, (const BYTE*)data, size);
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

bool StoreValue(HKEY root, const std::string& key, const char* name, const StoredValue& value)
{
    if (value.type == REG_NONE)
        return CreateRegistryKey(root, key);
    return SetRegistryValue(root, key, name, value.type, value.data, value.size);
}

bool SetRegistryString(HKEY root, const std::string& key, const char* name,
                       const std::string& value)
{
    return SetRegistryValue(root, key, name, REG_SZ, value.c_str(), (DWORD)value.size() + 1);
}

bool SetRegistryWideString(HKEY root, const std::string& key, const char* name,
                           const std::wstring& value)
{
    HKEY handle;
    std::wstring wideName(name, name + strlen(name));  // the installer's value names are ASCII
    LONG result;

    if (RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, NULL,
                        &handle, NULL) != ERROR_SUCCESS)
        return false;
    result = RegSetValueExW(handle, wideName.c_str(), 0, REG_SZ, (const BYTE*)value.c_str(),
                            (DWORD)((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

bool CreateRegistryKey(HKEY root, const std::string& key)
{
    HKEY handle;

    if (RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, NULL,
                        &handle, NULL) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

void DeleteRegistryTree(HKEY root, const std::string& key)
{
    RegDeleteTreeA(root, key.c_str());
    RegDeleteKeyExA(root, key.c_str(), KEY_WOW64_64KEY, 0);
}

bool RegistryKeyExists(HKEY root, const std::string& key)
{
    HKEY handle;

    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

ScopedRegistryTree::ScopedRegistryTree(HKEY root, std::string key) : root_(root), key_(key)
{
    DeleteRegistryTree(root_, key_);
}

ScopedRegistryTree::~ScopedRegistryTree()
{
    DeleteRegistryTree(root_, key_);
}

// GetProcessHandleCount answers 0 under Wine, so the handles are counted in the system's list.
namespace {

const ULONG kSystemHandleInformation = 16;
const NTSTATUS kInfoLengthMismatch = (NTSTATUS)0xC0000004L;

struct HandleEntry {
    ULONG processId;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

typedef NTSTATUS(WINAPI* QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);

}  // namespace

static std::vector<char> SystemHandleList()
{
    QuerySystemInformation query = (QuerySystemInformation)(void*)GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    std::vector<char> buffer(1 << 20);
    ULONG got = 0;
    NTSTATUS status;

    if (query == NULL)
        return std::vector<char>();
    while ((status = query(kSystemHandleInformation, buffer.data(), (ULONG)buffer.size(), &got)) ==
           kInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return std::vector<char>();
    return buffer;
}

// The object type number the system gives one of this process's handles; 0 when not listed.
static UCHAR TypeOfHandle(const std::vector<char>& buffer, HANDLE handle)
{
    const HandleList* list = (const HandleList*)buffer.data();
    for (ULONG i = 0; i < list->count; i++) {
        const HandleEntry& entry = list->entries[i];
        if (entry.processId == GetCurrentProcessId() && entry.handle == (USHORT)(ULONG_PTR)handle)
            return entry.objectType;
    }
    return 0;
}

// Counts this process's handles of the kinds that the steps open: registry keys, files (a
// directory listing holds a file handle) and processes (a launcher's). Windows' other handles,
// such as those a message box makes on first use, come and go with user32 and are not the
// steps' to close.
DWORD OpenHandleCount()
{
    HKEY key;
    HANDLE file;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId());
    char path[MAX_PATH + 1];
    std::vector<char> buffer;
    UCHAR keyType = 0;
    UCHAR fileType = 0;
    UCHAR processType = 0;
    DWORD count = 0;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    GetSystemDirectoryA(path, sizeof(path));
    file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    buffer = SystemHandleList();
    if (!buffer.empty()) {
        keyType = TypeOfHandle(buffer, key);
        fileType = TypeOfHandle(buffer, file);
        processType = TypeOfHandle(buffer, process);
        const HandleList* list = (const HandleList*)buffer.data();
        for (ULONG i = 0; i < list->count; i++) {
            const HandleEntry& entry = list->entries[i];
            if (entry.processId == GetCurrentProcessId() &&
                (entry.objectType == keyType || entry.objectType == fileType ||
                 entry.objectType == processType))
                count++;
        }
    }
    RegCloseKey(key);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (process != NULL)
        CloseHandle(process);
    return count;
}
