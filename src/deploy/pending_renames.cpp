// The value is read whole into one heap block and walked as pairs of strings; a target may be
// empty (a removal), so the list's end is its size, not its first empty string. Taking entries
// back rewrites the value without them, and only then removes the waiting copies they named, so
// that a run cut off in between leaves a leftover for the next run, never an entry without its
// file.
#include "deploy/pending_renames.h"

#include <string.h>
#include <wchar.h>

#include "deploy/file_replace.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

const wchar_t kSessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenamesValue[] = L"PendingFileRenameOperations";

static const wchar_t kNtPrefix[] = L"\\??\\";
static const size_t kNtPrefixLength = 4;
// Room for "\??\", a full path and its terminator.
static const size_t kNtPathCapacity = MAX_PATH + 8;

// The value as read: chars characters, with two more zeros after them so that every string ends.
struct PendingList {
    wchar_t* text;
    DWORD chars;
};

static void FreeList(PendingList* list)
{
    if (list->text != NULL)
        HeapFree(GetProcessHeap(), 0, list->text);
    list->text = NULL;
    list->chars = 0;
}

// Reads the value; an absent value is an empty list. False when it cannot be read or is not a
// list of strings.
static bool ReadList(HKEY key, PendingList* list)
{
    DWORD type;
    DWORD size = 0;
    LONG status;

    list->text = NULL;
    list->chars = 0;
    for (int attempt = 0; attempt < 4; attempt++) {
        status = RegQueryValueExW(key, kPendingRenamesValue, NULL, &type, NULL, &size);
        if (status == ERROR_FILE_NOT_FOUND)
            return true;
        if (status != ERROR_SUCCESS || type != REG_MULTI_SZ)
            return false;
        list->text = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                         size + 2 * sizeof(wchar_t));
        if (list->text == NULL)
            return false;
        status = RegQueryValueExW(key, kPendingRenamesValue, NULL, &type, (BYTE*)list->text, &size);
        if (status == ERROR_SUCCESS && type == REG_MULTI_SZ) {
            list->chars = size / sizeof(wchar_t);
            return true;
        }
        FreeList(list);
        if (status != ERROR_MORE_DATA)  // else it grew between the two reads
            return false;
    }
    return false;
}

// The string that begins at *at, or NULL past the list's end; *at moves past it.
static const wchar_t* NextString(const PendingList* list, DWORD* at)
{
    const wchar_t* text;

    if (*at >= list->chars)
        return NULL;
    text = list->text + *at;
    *at += (DWORD)wcslen(text) + 1;
    return text;
}

// One entry: source, and target ("" for a removal), each as written in the value.
struct PendingEntry {
    const wchar_t* source;
    const wchar_t* target;
};

// The next entry from *at; false at the list's end. Empty strings between entries (the list's
// own terminator) are passed over.
static bool NextEntry(const PendingList* list, DWORD* at, PendingEntry* entry)
{
    do {
        entry->source = NextString(list, at);
        if (entry->source == NULL)
            return false;
    } while (entry->source[0] == L'\0');
    entry->target = NextString(list, at);
    if (entry->target == NULL)
        entry->target = L"";
    return true;
}

// path as the value names it: "\??\" and its full path.
static bool NtPathOf(const char* path, wchar_t* nt, size_t capacity)
{
    wchar_t wide[MAX_PATH + 1];
    DWORD length;

    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH + 1) == 0 ||
        FAILED(StringCchCopyW(nt, capacity, kNtPrefix)))
        return false;
    length = GetFullPathNameW(wide, (DWORD)(capacity - kNtPrefixLength), nt + kNtPrefixLength, NULL);
    return length != 0 && length < capacity - kNtPrefixLength;
}

// Whether a name in the value ("!" marks a replacing target) is the file nt names.
static bool Names(const wchar_t* inValue, const wchar_t* nt)
{
    if (inValue[0] == L'!')
        inValue++;
    return CompareStringOrdinal(inValue, -1, nt, -1, TRUE) == CSTR_EQUAL;
}

// Whether the entry replaces or removes the file nt names.
static bool Changes(const PendingEntry* entry, const wchar_t* nt)
{
    return (entry->target[0] != L'\0' && Names(entry->target, nt)) ||
           (entry->target[0] == L'\0' && Names(entry->source, nt));
}

static HKEY OpenSessionManager(REGSAM access)
{
    HKEY key;

    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, access, &key) != ERROR_SUCCESS)
        return NULL;
    return key;
}

// Reads the value from the registry; false when it cannot be read.
static bool ReadFromRegistry(PendingList* list)
{
    HKEY key = OpenSessionManager(KEY_QUERY_VALUE);
    bool read;

    list->text = NULL;
    list->chars = 0;
    if (key == NULL)
        return false;
    read = ReadList(key, list);
    RegCloseKey(key);
    return read;
}

// A copy batch asks about thousands of files; while it holds the list, the value is read once,
// and again only after the run itself has changed it.
static struct {
    bool held;
    bool read;
    PendingList list;
} g_held;

void HoldPendingChanges()
{
    g_held.held = true;
}

static void ForgetHeldList()
{
    FreeList(&g_held.list);
    g_held.read = false;
}

void ReleasePendingChanges()
{
    ForgetHeldList();
    g_held.held = false;
}

static bool AnyEntryIn(const PendingList* list, const wchar_t* nt,
                       bool (*matches)(const PendingEntry*, const wchar_t*))
{
    PendingEntry entry;
    DWORD at = 0;

    while (NextEntry(list, &at, &entry)) {
        if (matches(&entry, nt))
            return true;
    }
    return false;
}

// Whether any entry answers the question about the file at path.
static bool AnyEntry(const char* path, bool (*matches)(const PendingEntry*, const wchar_t*))
{
    wchar_t nt[kNtPathCapacity];
    PendingList list;
    bool found;

    if (!NtPathOf(path, nt, kNtPathCapacity))
        return false;
    if (g_held.held) {
        if (!g_held.read)
            g_held.read = ReadFromRegistry(&g_held.list);
        return g_held.read && AnyEntryIn(&g_held.list, nt, matches);
    }
    found = ReadFromRegistry(&list) && AnyEntryIn(&list, nt, matches);
    FreeList(&list);
    return found;
}

static bool IsSource(const PendingEntry* entry, const wchar_t* nt)
{
    return Names(entry->source, nt);
}

bool IsPendingSource(const char* path)
{
    return AnyEntry(path, IsSource);
}

bool HasPendingChange(const char* path)
{
    return AnyEntry(path, Changes);
}

// Adds text and its terminator at the list's end; the list has room for what it is copied from.
static void AppendString(PendingList* list, const wchar_t* text)
{
    size_t length = wcslen(text) + 1;

    memcpy(list->text + list->chars, text, length * sizeof(wchar_t));
    list->chars += (DWORD)length;
}

// Copies the entries that do not change the file nt names into kept (kept->chars counts its
// characters). Returns how many were left out.
static int KeepOthers(const PendingList* list, const wchar_t* nt, PendingList* kept)
{
    PendingEntry entry;
    DWORD at = 0;
    int leftOut = 0;

    kept->chars = 0;
    while (NextEntry(list, &at, &entry)) {
        if (Changes(&entry, nt)) {
            leftOut++;
            continue;
        }
        AppendString(kept, entry.source);
        AppendString(kept, entry.target);
    }
    return leftOut;
}

static bool WriteList(HKEY key, const PendingList* list)
{
    LONG status;

    if (list->chars == 0)
        status = RegDeleteValueW(key, kPendingRenamesValue);
    else
        status = RegSetValueExW(key, kPendingRenamesValue, 0, REG_MULTI_SZ, (const BYTE*)list->text,
                                (list->chars + 1) * sizeof(wchar_t));
    RegFlushKey(key);
    return status == ERROR_SUCCESS;
}

// The file part of a name in the value, for telling the installer's own waiting copies.
static bool IsOwnWaitingCopy(const wchar_t* source)
{
    const wchar_t* name = wcsrchr(source, L'\\');
    char narrow[32];

    name = name != NULL ? name + 1 : source;
    return WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, sizeof(narrow), NULL, NULL) != 0 &&
           IsTemporaryName(narrow);
}

// Removes the waiting copies of the installer's own that the entries taken back would have moved.
static void RemoveWaitingCopies(const PendingList* list, const wchar_t* nt)
{
    PendingEntry entry;
    DWORD at = 0;

    while (NextEntry(list, &at, &entry)) {
        if (entry.target[0] != L'\0' && Changes(&entry, nt) && IsOwnWaitingCopy(entry.source) &&
            wcsncmp(entry.source, kNtPrefix, kNtPrefixLength) == 0)
            DeleteFileW(entry.source + kNtPrefixLength);
    }
}

bool CancelPendingChanges(const char* path)
{
    wchar_t nt[kNtPathCapacity];
    HKEY key;
    PendingList list;
    PendingList kept = {NULL, 0};
    bool cancelled = false;

    if (g_held.held && !HasPendingChange(path))
        return false;
    if (!NtPathOf(path, nt, kNtPathCapacity) ||
        (key = OpenSessionManager(KEY_QUERY_VALUE | KEY_SET_VALUE)) == NULL)
        return false;
    if (!ReadList(key, &list) || list.chars == 0)
        goto done;
    kept.text = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                    (list.chars + 2) * sizeof(wchar_t));
    if (kept.text == NULL)
        goto done;
    if (KeepOthers(&list, nt, &kept) == 0)
        goto done;
    if (WriteList(key, &kept)) {
        RemoveWaitingCopies(&list, nt);
        cancelled = true;
        ForgetHeldList();
    }
done:
    FreeList(&kept);
    FreeList(&list);
    RegCloseKey(key);
    return cancelled;
}

void FlushPendingChanges()
{
    HKEY key = OpenSessionManager(KEY_QUERY_VALUE);

    ForgetHeldList();
    if (key != NULL) {
        RegFlushKey(key);
        RegCloseKey(key);
    }
}
