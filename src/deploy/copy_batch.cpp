// The staged copies are held in one growing heap array, in the order the tree walk stages them;
// the walk that moves them visits the files in the same order, so a copy is usually found at the
// next place to look.
#include "deploy/copy_batch.h"

#include <string.h>
#include <windows.h>

#include "deploy/file_replace.h"
#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

// Flushes made at once where each file must be flushed on its own.
static const DWORD kFlushThreads = 8;

struct StagedCopy {
    char destination[MAX_PATH + 1];
    char temporary[MAX_PATH + 1];  // "" once let go
    bool volumeTried;              // its volume's flush was tried
    bool flushed;
};

static struct {
    bool open;
    StagedCopy* copies;
    size_t count;
    size_t capacity;
    size_t next;  // where the next look begins
    char folder[MAX_PATH + 1];  // of the last copy staged
} g_batch;

void BeginCopyBatch()
{
    ZeroMemory(&g_batch, sizeof(g_batch));
    g_batch.open = true;
}

static StagedCopy* AddCopy()
{
    size_t grown = g_batch.capacity == 0 ? 64 : g_batch.capacity * 2;
    void* copies;

    if (g_batch.count == g_batch.capacity) {
        copies = g_batch.copies == NULL
                     ? HeapAlloc(GetProcessHeap(), 0, grown * sizeof(StagedCopy))
                     : HeapReAlloc(GetProcessHeap(), 0, g_batch.copies, grown * sizeof(StagedCopy));
        if (copies == NULL)
            return NULL;
        g_batch.copies = (StagedCopy*)copies;
        g_batch.capacity = grown;
    }
    return &g_batch.copies[g_batch.count];
}

// Whether destination lies in another folder than the copy staged before it; that folder then
// becomes the last one.
static bool EntersNewFolder(const char* destination)
{
    const char* slash = strrchr(destination, '\\');
    size_t length = slash != NULL ? (size_t)(slash - destination) : 0;

    if (length < sizeof(g_batch.folder) && strncmp(g_batch.folder, destination, length) == 0 &&
        g_batch.folder[length] == '\0')
        return false;
    if (length < sizeof(g_batch.folder))
        FormatText(g_batch.folder, sizeof(g_batch.folder), "%.*s", (int)length, destination);
    return true;
}

void StageCopy(const char* source, const char* destination)
{
    StagedCopy* copy;

    if (!g_batch.open || (copy = AddCopy()) == NULL ||
        !CopyText(copy->destination, sizeof(copy->destination), destination) ||
        WriteStagedCopy(source, destination, EntersNewFolder(destination), copy->temporary,
                        sizeof(copy->temporary)) != ERROR_SUCCESS)
        return;
    copy->volumeTried = copy->flushed = false;
    g_batch.count++;
}

// Flushes the volume of the copy at first once for every copy on it; where it cannot be flushed
// they are left to be flushed one by one.
static void FlushVolumeOf(size_t first)
{
    char letter = VolumeLetter(g_batch.copies[first].temporary);
    bool flushed = letter != '\0' && FlushVolume(letter);

    g_batch.copies[first].volumeTried = true;
    for (size_t i = first; i < g_batch.count && letter != '\0'; i++) {
        if (VolumeLetter(g_batch.copies[i].temporary) == letter) {
            g_batch.copies[i].volumeTried = true;
            g_batch.copies[i].flushed = flushed;
        }
    }
}

// Flushes the copies that no volume flush covered, taking them in turn with the other threads.
static DWORD WINAPI FlushFilesInTurn(void* nextCopy)
{
    LONG index;

    while ((index = InterlockedIncrement((LONG*)nextCopy) - 1) < (LONG)g_batch.count) {
        StagedCopy* copy = &g_batch.copies[index];
        if (!copy->flushed)
            copy->flushed = FlushFile(copy->temporary);
    }
    return 0;
}

// Each file on its own costs the disk a journal commit; several flushes at once share one.
static void FlushEachFile()
{
    HANDLE threads[kFlushThreads];
    DWORD started = 0;
    LONG nextCopy = 0;

    while (started < kFlushThreads &&
           (threads[started] = CreateThread(NULL, 64 * 1024, FlushFilesInTurn, &nextCopy,
                                            STACK_SIZE_PARAM_IS_A_RESERVATION, NULL)) != NULL)
        started++;
    if (started > 0)
        WaitForMultipleObjects(started, threads, TRUE, INFINITE);
    for (DWORD i = 0; i < started; i++)
        CloseHandle(threads[i]);
    FlushFilesInTurn(&nextCopy);  // whatever no thread took, when none could start
}

void FlushStagedCopies()
{
    bool eachFile = false;

    for (size_t i = 0; i < g_batch.count; i++) {
        if (!g_batch.copies[i].volumeTried)
            FlushVolumeOf(i);
        eachFile = eachFile || !g_batch.copies[i].flushed;
    }
    if (eachFile)
        FlushEachFile();
}

// The staged copy for destination, looked for from where the last one was found.
static StagedCopy* FindCopy(const char* destination)
{
    for (size_t looked = 0; looked < g_batch.count; looked++) {
        StagedCopy* copy = &g_batch.copies[(g_batch.next + looked) % g_batch.count];
        if (copy->temporary[0] != '\0' && strcmp(copy->destination, destination) == 0) {
            g_batch.next = (g_batch.next + looked + 1) % g_batch.count;
            return copy;
        }
    }
    return NULL;
}

bool TakeStagedCopy(const char* destination, char* temporary, size_t capacity)
{
    StagedCopy* copy = g_batch.open && g_batch.count > 0 ? FindCopy(destination) : NULL;
    bool taken;

    if (copy == NULL)
        return false;
    taken = copy->flushed && CopyText(temporary, capacity, copy->temporary);
    if (!taken)
        DeleteFileA(copy->temporary);  // never moved unflushed: the copy is written anew
    copy->temporary[0] = '\0';
    return taken;
}

bool IsStagedCopy(const char* path)
{
    for (size_t i = g_batch.open ? g_batch.count : 0; i > 0; i--) {
        if (strcmp(g_batch.copies[i - 1].temporary, path) == 0)
            return true;
    }
    return false;
}

void EndCopyBatch()
{
    for (size_t i = 0; i < g_batch.count; i++) {
        if (g_batch.copies[i].temporary[0] != '\0')
            DeleteFileA(g_batch.copies[i].temporary);
    }
    if (g_batch.copies != NULL)
        HeapFree(GetProcessHeap(), 0, g_batch.copies);
    ZeroMemory(&g_batch, sizeof(g_batch));
    FlushWrittenVolumes();
}
