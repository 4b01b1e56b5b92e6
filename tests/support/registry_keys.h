// Registry helpers for the tests: keys made in the test prefix's real registry (the 64-bit view,
// as the installer sees it) and removed again, and a count of the process's open handles.
#pragma once

#include <windows.h>

#include <string>

bool SetRegistryValue(HKEY root, const std::string& key, const char* name, DWORD type,
                      const void* data, DWORD size);

// One way of storing a value, for tables of the odd values a step must refuse.
struct StoredValue {
    const char* what;
    DWORD type;  // REG_NONE: the key is made without the value
    const void* data;
    DWORD size;
};
bool StoreValue(HKEY root, const std::string& key, const char* name, const StoredValue& value);
// A string value stored with its terminator.
bool SetRegistryString(HKEY root, const std::string& key, const char* name,
                       const std::string& value);
// A string value in Unicode, for a path whose letters the ANSI code page lacks.
bool SetRegistryWideString(HKEY root, const std::string& key, const char* name,
                           const std::wstring& value);
bool CreateRegistryKey(HKEY root, const std::string& key);
void DeleteRegistryTree(HKEY root, const std::string& key);
bool RegistryKeyExists(HKEY root, const std::string& key);

// Removes a key with everything below it when made and again when destroyed, so a test starts
// without it and leaves nothing behind.
class ScopedRegistryTree {
public:
    ScopedRegistryTree(HKEY root, std::string key);
    ~ScopedRegistryTree();

private:
    HKEY root_;
    std::string key_;
};

// The number of handles the process holds: registry keys and find handles among them.
// 0 when the system does not say.
DWORD OpenHandleCount();
