// The product's entry in Apps & features (Programs and Features): the key by which Windows,
// winget, Intune and Ansible know the installed product. It lives in the 64-bit registry view
// only, under a name that never changes, and names the installed copy as its uninstaller.
#pragma once

#include <windows.h>

// Under HKLM; its last part is the product ID that Ansible's product_id and detection rules name.
extern const wchar_t kAppsEntryKey[];

// Writes the entry for the copy of the program in folder (which holds cardsetup.exe): sizeKiB
// for its size on the disk, date as yyyymmdd. DisplayName comes last, since Apps & features and
// winget list no entry without one: a run cut off before it leaves nothing listed. A second
// install writes the same entry again. A Windows error code.
DWORD WriteAppsEntry(const wchar_t* folder, DWORD sizeKiB, const wchar_t* date);

// Removes the entry; ERROR_SUCCESS also where there is none.
DWORD RemoveAppsEntry();
