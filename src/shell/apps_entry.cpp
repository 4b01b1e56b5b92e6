// Values are written as Unicode, so that a folder's name reaches the registry as Windows names it
// whatever the ANSI code page; the key is flushed once it is whole.
#include "shell/apps_entry.h"

#include "version.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

const wchar_t kAppsEntryKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\cardsetup";

static const REGSAM kView = KEY_WOW64_64KEY;

static LONG SetText(HKEY key, const wchar_t* name, const wchar_t* text)
{
    size_t length = 0;

    if (FAILED(StringCchLengthW(text, STRSAFE_MAX_CCH, &length)))
        return ERROR_INVALID_PARAMETER;
    return RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)text,
                          (DWORD)((length + 1) * sizeof(wchar_t)));
}

static LONG SetNumber(HKEY key, const wchar_t* name, DWORD number)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE*)&number, sizeof(number));
}

// Every value but DisplayName.
static LONG SetValues(HKEY key, const wchar_t* folder, DWORD sizeKiB, const wchar_t* date)
{
    wchar_t program[MAX_PATH + 32];
    wchar_t uninstall[MAX_PATH + 64];
    wchar_t quiet[MAX_PATH + 64];
    LONG status = ERROR_SUCCESS;

    if (FAILED(StringCchPrintfW(program, MAX_PATH + 32, L"%s\\cardsetup.exe", folder)) ||
        FAILED(StringCchPrintfW(uninstall, MAX_PATH + 64, L"\"%s\" /uninstall", program)) ||
        FAILED(StringCchPrintfW(quiet, MAX_PATH + 64, L"\"%s\" /uninstall /quiet", program)))
        return ERROR_FILENAME_EXCED_RANGE;
    const struct {
        const wchar_t* name;
        const wchar_t* text;
    } texts[] = {
        {L"DisplayVersion", L"" CARDSETUP_VERSION_TEXT}, {L"Publisher", L"" CARDSETUP_PUBLISHER},
        {L"InstallLocation", folder},                     {L"InstallDate", date},
        {L"DisplayIcon", program},                        {L"UninstallString", uninstall},
        {L"QuietUninstallString", quiet},
    };
    const struct {
        const wchar_t* name;
        DWORD number;
    } numbers[] = {
        {L"VersionMajor", CARDSETUP_VERSION_MAJOR}, {L"VersionMinor", CARDSETUP_VERSION_MINOR},
        {L"EstimatedSize", sizeKiB},                {L"NoModify", 1},
        {L"NoRepair", 1},
    };
    for (const auto& text : texts) {
        if (status == ERROR_SUCCESS)
            status = SetText(key, text.name, text.text);
    }
    for (const auto& number : numbers) {
        if (status == ERROR_SUCCESS)
            status = SetNumber(key, number.name, number.number);
    }
    return status;
}

DWORD WriteAppsEntry(const wchar_t* folder, DWORD sizeKiB, const wchar_t* date)
{
    HKEY key;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppsEntryKey, 0, NULL, 0,
                                  KEY_SET_VALUE | kView, NULL, &key, NULL);

    if (status != ERROR_SUCCESS)
        return (DWORD)status;
    status = SetValues(key, folder, sizeKiB, date);
    if (status == ERROR_SUCCESS)
        status = SetText(key, L"DisplayName", L"" CARDSETUP_PRODUCT_NAME);
    if (status == ERROR_SUCCESS)
        status = RegFlushKey(key);
    RegCloseKey(key);
    return (DWORD)status;
}

DWORD RemoveAppsEntry()
{
    LONG status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kAppsEntryKey, kView, 0);

    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : (DWORD)status;
}
