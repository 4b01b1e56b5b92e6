// The record is lines of tab-separated fields after a first line that names the format, and
// ends with a line "end", so that a file cut short or edited by hand is told from a record.
// Paths are kept as UTF-8 and given back in the ANSI code page, only where they have an exact
// form there: a path that no longer has one cannot be judged, and the record is then refused.
#include "deploy/product_record.h"

#include <string.h>

#include "deploy/file_replace.h"
#include "deploy/heap_array.h"
#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kFirstLine[] = "cardsetup record 1";
static const char kEndLine[] = "end";
static const char* const kKindNames[] = {"file", "backup", "edit"};
// A record is a few hundred lines; anything much larger is not one.
static const DWORD kLargestRecord = 4 * 1024 * 1024;
// The longest line: a kind, a version, a digest and two paths of MAX_PATH characters, each
// character up to three bytes of UTF-8.
static const size_t kLongestLine = 2 * 3 * MAX_PATH + 128;

// A hash of path with its letters in upper case: lookups compare names only where it matches,
// so a run that notes a tree of thousands of files does not compare every name with every other.
static DWORD HashWithoutCase(const char* path)
{
    DWORD hash = 2166136261u;  // FNV-1a

    for (const char* c = path; *c != '\0'; c++) {
        char upper[2] = {*c, '\0'};
        CharUpperBuffA(upper, 1);
        hash = (hash ^ (BYTE)upper[0]) * 16777619u;
    }
    return hash;
}

static RecordEntry* Find(const ProductRecord* record, RecordKind kind, const char* path,
                         DWORD pathHash)
{
    for (size_t i = 0; i < record->count; i++) {
        RecordEntry* entry = &record->entries[i];
        if (entry->pathHash == pathHash && entry->kind == kind &&
            CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry->path, -1, path, -1) ==
                CSTR_EQUAL)
            return entry;
    }
    return NULL;
}

bool AddRecordEntry(ProductRecord* record, const RecordEntry* entry)
{
    DWORD pathHash = HashWithoutCase(entry->path);
    RecordEntry* same = Find(record, entry->kind, entry->path, pathHash);
    void* entries = record->entries;

    if (same == NULL) {
        if (!MakeRoomForOneMore(&entries, record->count, &record->capacity, sizeof(RecordEntry),
                                32))
            return false;
        record->entries = (RecordEntry*)entries;
        same = &record->entries[record->count++];
    }
    *same = *entry;
    same->pathHash = pathHash;
    return true;
}

const RecordEntry* FindRecordEntry(const ProductRecord* record, RecordKind kind, const char* path)
{
    return Find(record, kind, path, HashWithoutCase(path));
}

void FreeProductRecord(ProductRecord* record)
{
    if (record->entries != NULL)
        HeapFree(GetProcessHeap(), 0, record->entries);
    ZeroMemory(record, sizeof(*record));
}

// An ANSI path as UTF-8; false where it cannot be converted whole.
static bool Utf8FromPath(const char* path, char* utf8, size_t capacity)
{
    wchar_t wide[MAX_PATH + 1];

    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide, MAX_PATH + 1) != 0 &&
           WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, (int)capacity, NULL, NULL) != 0;
}

// A UTF-8 path in the ANSI code page; false where it has no exact form there.
static bool PathFromUtf8(const char* utf8, char* path, size_t capacity)
{
    wchar_t wide[MAX_PATH + 1];

    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide, MAX_PATH + 1) != 0 &&
           PathFromWide(path, capacity, wide);
}

static bool FormatEntry(const RecordEntry* entry, char* line, size_t capacity)
{
    char path[3 * MAX_PATH + 1];
    char original[3 * MAX_PATH + 1];

    if (!Utf8FromPath(entry->path, path, sizeof(path)))
        return false;
    if (entry->kind == RecordFile)
        return FormatText(line, capacity, "file\t%s\t%s\t%s\n", entry->version, entry->digest, path);
    return Utf8FromPath(entry->original, original, sizeof(original)) &&
           FormatText(line, capacity, "%s\t%s\t%s\n", kKindNames[entry->kind], path, original);
}

// The record's text in one heap block (for HeapFree), its length in *length; NULL on failure.
static char* FormatRecord(const ProductRecord* record, size_t* length)
{
    size_t capacity = (record->count + 3) * kLongestLine;
    char* text = (char*)HeapAlloc(GetProcessHeap(), 0, capacity);
    size_t used;

    if (text == NULL ||
        !FormatText(text, capacity, "%s\nversion\t%s\n", kFirstLine, record->version))
        goto failed;
    for (size_t i = 0; i < record->count; i++) {
        used = strlen(text);
        if (!FormatEntry(&record->entries[i], text + used, capacity - used))
            goto failed;
    }
    used = strlen(text);
    if (!FormatText(text + used, capacity - used, "%s\n", kEndLine))
        goto failed;
    *length = strlen(text);
    return text;
failed:
    if (text != NULL)
        HeapFree(GetProcessHeap(), 0, text);
    return NULL;
}

DWORD WriteProductRecord(const ProductRecord* record, const char* path)
{
    size_t length;
    char* text = FormatRecord(record, &length);
    DWORD error;

    if (text == NULL)
        return ERROR_NO_UNICODE_TRANSLATION;
    error = ReplaceWithBytes(path, text, (DWORD)length);
    HeapFree(GetProcessHeap(), 0, text);
    return error;
}

// Cuts line at its tabs into at most capacity fields; the number of fields, or capacity + 1
// where there are more.
static size_t SplitFields(char* line, char** fields, size_t capacity)
{
    size_t count = 0;

    for (char* field = line; field != NULL; count++) {
        char* tab = strchr(field, '\t');
        if (count == capacity)
            return capacity + 1;
        fields[count] = field;
        if (tab != NULL)
            *tab++ = '\0';
        field = tab;
    }
    return count;
}

static bool IsDigest(const char* text)
{
    size_t length = strlen(text);

    if (length != kSha256TextSize - 1)
        return false;
    for (size_t i = 0; i < length; i++) {
        if (!((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'a' && text[i] <= 'f')))
            return false;
    }
    return true;
}

static DWORD ParseEntry(char** fields, size_t count, RecordEntry* entry)
{
    ZeroMemory(entry, sizeof(*entry));
    if (strcmp(fields[0], kKindNames[RecordFile]) == 0 && count == 4) {
        entry->kind = RecordFile;
        if (!CopyText(entry->version, sizeof(entry->version), fields[1]) || !IsDigest(fields[2]))
            return ERROR_INVALID_DATA;
        CopyText(entry->digest, sizeof(entry->digest), fields[2]);
        return PathFromUtf8(fields[3], entry->path, sizeof(entry->path))
                   ? ERROR_SUCCESS
                   : ERROR_NO_UNICODE_TRANSLATION;
    }
    if (count != 3)
        return ERROR_INVALID_DATA;
    if (strcmp(fields[0], kKindNames[RecordBackup]) == 0)
        entry->kind = RecordBackup;
    else if (strcmp(fields[0], kKindNames[RecordEdit]) == 0)
        entry->kind = RecordEdit;
    else
        return ERROR_INVALID_DATA;
    return PathFromUtf8(fields[1], entry->path, sizeof(entry->path)) &&
                   PathFromUtf8(fields[2], entry->original, sizeof(entry->original))
               ? ERROR_SUCCESS
               : ERROR_NO_UNICODE_TRANSLATION;
}

// One line after the first, cut from the text; *ended once the end line is read.
static DWORD ParseLine(char* line, ProductRecord* record, bool* ended)
{
    char* fields[4];
    size_t count = SplitFields(line, fields, 4);
    RecordEntry entry;
    DWORD error;

    if (*ended)
        return ERROR_INVALID_DATA;  // nothing may follow the end
    if (count == 1 && strcmp(fields[0], kEndLine) == 0) {
        *ended = true;
        return ERROR_SUCCESS;
    }
    if (count == 2 && strcmp(fields[0], "version") == 0)
        return CopyText(record->version, sizeof(record->version), fields[1]) ? ERROR_SUCCESS
                                                                              : ERROR_INVALID_DATA;
    if (count > 4 || (error = ParseEntry(fields, count, &entry)) != ERROR_SUCCESS)
        return count > 4 ? ERROR_INVALID_DATA : error;
    return AddRecordEntry(record, &entry) ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

static DWORD ParseRecord(char* text, ProductRecord* record)
{
    char* line = text;
    bool ended = false;
    bool first = true;
    DWORD error = ERROR_SUCCESS;

    while (error == ERROR_SUCCESS && *line != '\0') {
        char* newline = strchr(line, '\n');
        if (newline == NULL)
            return ERROR_INVALID_DATA;  // cut short
        *newline = '\0';
        if (first)
            error = strcmp(line, kFirstLine) == 0 ? ERROR_SUCCESS : ERROR_INVALID_DATA;
        else
            error = ParseLine(line, record, &ended);
        first = false;
        line = newline + 1;
    }
    if (error == ERROR_SUCCESS && (!ended || record->version[0] == '\0'))
        error = ERROR_INVALID_DATA;
    return error;
}

// The file's bytes with a terminator, in one heap block (for HeapFree), their count in *length;
// NULL with *error set.
static char* ReadWholeFile(const char* path, size_t* length, DWORD* error)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    LARGE_INTEGER size;
    DWORD read = 0;
    char* text = NULL;

    *error = ERROR_SUCCESS;
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError() == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : GetLastError();
        return NULL;
    }
    if (!GetFileSizeEx(file, &size) || size.QuadPart >= kLargestRecord)
        *error = ERROR_INVALID_DATA;
    else if ((text = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)size.QuadPart + 1)) == NULL)
        *error = ERROR_NOT_ENOUGH_MEMORY;
    else if (!ReadFile(file, text, (DWORD)size.QuadPart, &read, NULL) || read != size.QuadPart)
        *error = ERROR_READ_FAULT;
    CloseHandle(file);
    if (*error != ERROR_SUCCESS && text != NULL) {
        HeapFree(GetProcessHeap(), 0, text);
        text = NULL;
    }
    if (text != NULL)
        text[read] = '\0';
    *length = read;
    return text;
}

DWORD ReadProductRecord(const char* path, ProductRecord* record)
{
    size_t length = 0;
    DWORD error;
    char* text;

    ZeroMemory(record, sizeof(*record));
    text = ReadWholeFile(path, &length, &error);
    if (text == NULL)
        return error;
    // A NUL inside the text would hide what follows it.
    error = strlen(text) == length ? ParseRecord(text, record) : ERROR_INVALID_DATA;
    HeapFree(GetProcessHeap(), 0, text);
    if (error != ERROR_SUCCESS)
        FreeProductRecord(record);
    return error;
}
