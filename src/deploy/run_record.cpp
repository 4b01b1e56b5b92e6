// One record per process, as one run per process: the steps note into it through the guarded copy
// and the policy's backups. Until FinishRunRecord, a placed file's entry holds its source's full
// path in the field that a backup uses for its original.
#include "deploy/run_record.h"

#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static ProductRecord g_run;
// A note that could not be kept: the record would miss a file, and is not whole.
static bool g_noteLost;

static bool KeepNote(RecordKind kind, const char* path, const char* other)
{
    RecordEntry entry;

    ZeroMemory(&entry, sizeof(entry));
    entry.kind = kind;
    if (!CopyText(entry.path, sizeof(entry.path), path))
        return false;
    if (kind == RecordFile) {
        DWORD length = GetFullPathNameA(other, sizeof(entry.original), entry.original, NULL);
        if (length == 0 || length >= sizeof(entry.original))
            return false;
    } else if (!CopyText(entry.original, sizeof(entry.original), other)) {
        return false;
    }
    return AddRecordEntry(&g_run, &entry);
}

static void Note(RecordKind kind, const char* path, const char* other)
{
    if (!KeepNote(kind, path, other))
        g_noteLost = true;
}

void NotePlacedFile(const char* source, const char* destination)
{
    Note(RecordFile, destination, source);
}

void NoteBackupMade(const char* backup, const char* original)
{
    Note(RecordBackup, backup, original);
}

void NoteEditKeptAside(const char* edit, const char* original)
{
    Note(RecordEdit, edit, original);
}

bool FinishRunRecord(const char* version)
{
    bool whole = CopyText(g_run.version, sizeof(g_run.version), version) && !g_noteLost;

    for (size_t i = 0; i < g_run.count; i++) {
        RecordEntry* entry = &g_run.entries[i];
        if (entry->kind != RecordFile || entry->original[0] == '\0')
            continue;
        whole = HashFile(entry->original, entry->digest, sizeof(entry->digest)) && whole;
        CopyText(entry->version, sizeof(entry->version), version);
        entry->original[0] = '\0';
    }
    return whole;
}

const ProductRecord* RunRecord()
{
    return &g_run;
}

void ForgetRunRecord()
{
    FreeProductRecord(&g_run);
    g_noteLost = false;
}
