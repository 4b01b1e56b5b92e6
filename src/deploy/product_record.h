// The installed product's record: what the installer placed on this PC (each file with its
// SHA-256 and the version that placed it), the backups it made with their originals' places,
// and the edits it kept aside. Kept as UTF-8 text beside the installed program, so that a later
// run judges each file by it without the media, whatever the ANSI code page is by then.
#pragma once

#include <stddef.h>
#include <windows.h>

#include "deploy/file_hash.h"

enum RecordKind { RecordFile, RecordBackup, RecordEdit };

const size_t kRecordVersionSize = 16;

struct RecordEntry {
    RecordKind kind;
    char version[kRecordVersionSize];  // a file's: the version that placed it
    char digest[kSha256TextSize];      // a file's
    char path[MAX_PATH + 1];           // the file, the backup, or the edit kept aside
    char original[MAX_PATH + 1];       // a backup's or an edit's: the file it stands for
    DWORD pathHash;                    // of path without case; AddRecordEntry sets it
};

struct ProductRecord {
    char version[kRecordVersionSize];  // the version that wrote the record
    RecordEntry* entries;
    size_t count;
    size_t capacity;
};

// Adds entry, or replaces the entry of its kind for the same path (names compared as Windows
// does, without case). False when there is no memory for it.
bool AddRecordEntry(ProductRecord* record, const RecordEntry* entry);

// The entry of that kind for path, or NULL.
const RecordEntry* FindRecordEntry(const ProductRecord* record, RecordKind kind, const char* path);

// Writes the record at path through a copy beside it moved into place, flushed: a run cut off
// leaves the old record or the new one, whole. A Windows error code.
DWORD WriteProductRecord(const ProductRecord* record, const char* path);

// Reads the record at path into record (emptied first): ERROR_SUCCESS,
// ERROR_FILE_NOT_FOUND where there is none, ERROR_INVALID_DATA for a file that is not a whole
// record, or the error that refused reading it.
DWORD ReadProductRecord(const char* path, ProductRecord* record);

void FreeProductRecord(ProductRecord* record);
