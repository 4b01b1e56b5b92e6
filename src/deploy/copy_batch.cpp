// The staged copies are held in one growing heap array, in the order the tree walk stages them;
// the walk that moves them visits the files in the same order, so a copy is usually found at the
// next place to look. The newest copies stay open, up to kHeldOpen of them: where their volume
// cannot be flushed, each is flushed through its own handle, never opened again by name.
#include "deploy/copy_batch.h"

#include <string.h>
#include <windows.h>

#include "deploy/file_replace.h"
#include "deploy/pending_renames.h"
#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

// Flushes made at once where each file must be flushed on its own.
static const DWORD kFlushThreads = 8;
// Copies written and not yet settled, their files still open.
static const size_t kHeldOpen = 128;

enum VolumeFlush : char { VolumeUntried, VolumeFlushes, VolumeRefuses };

struct StagedCopy {
    char destination[MAX_PATH + 1];
    char temporary[MAX_PATH + 1];  // "" once let go
    bool flushed;
};

struct HeldCopy {
    size_t copy;
    HANDLE file;  // INVALID_HANDLE_VALUE once closed
};

static struct {
    bool open;
    StagedCopy* copies;
    size_t count;
    size_t capacity;
    size_t next;                // where the next look begins
    char folder[MAX_PATH + 1];  // of the last copy staged
    HeldCopy held[kHeldOpen];
    size_t heldCount;
    LONG nextHeld;              // the next held copy for a flushing thread to take
    VolumeFlush volumes[26];    // by drive letter
    bool volumeWritten[26];     // a copy was closed there since its last flush
} g_batch;

void BeginCopyBatch()
{
    ZeroMemory(&g_batch, sizeof(g_batch));
    g_batch.open = true;
    HoldPendingChanges();
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

// Whether the volume of path can be flushed as a whole, tried the first time it is asked. The
// first try comes once some copies are written, so that it makes them durable too.
static bool VolumeCanBeFlushed(const char* path)
{
    char letter = VolumeLetter(path);
    VolumeFlush* volume = letter != '\0' ? &g_batch.volumes[letter - 'a'] : NULL;

    if (volume == NULL)
        return false;
    if (*volume == VolumeUntried)
        *volume = FlushVolume(letter) ? VolumeFlushes : VolumeRefuses;
    return *volume == VolumeFlushes;
}

// Flushes the held copies still open, taking them in turn with the other threads.
static DWORD WINAPI FlushHeldInTurn(void*)
{
    LONG index;

    while ((index = InterlockedIncrement(&g_batch.nextHeld) - 1) < (LONG)g_batch.heldCount) {
        HeldCopy* held = &g_batch.held[index];
        if (held->file == INVALID_HANDLE_VALUE)
            continue;
        g_batch.copies[held->copy].flushed = g_durableFileCalls.flush(held->file) != FALSE;
        CloseHandle(held->file);
        held->file = INVALID_HANDLE_VALUE;
    }
    return 0;
}

// Each file on its own costs the disk a journal commit; several flushes at once share one.
static void FlushHeldCopies()
{
    HANDLE threads[kFlushThreads];
    DWORD started = 0;

    g_batch.nextHeld = 0;
    while (started < kFlushThreads &&
           (threads[started] = CreateThread(NULL, 64 * 1024, FlushHeldInTurn, NULL,
                                            STACK_SIZE_PARAM_IS_A_RESERVATION, NULL)) != NULL)
        started++;
    if (started > 0)
        WaitForMultipleObjects(started, threads, TRUE, INFINITE);
    for (DWORD i = 0; i < started; i++)
        CloseHandle(threads[i]);
    FlushHeldInTurn(NULL);  // whatever no thread took, when none could start
}

// The drive letters whose volumes have not been tried yet, a bit for each.
static DWORD UntriedVolumes()
{
    DWORD untried = 0;

    for (int letter = 0; letter < 26; letter++) {
        if (g_batch.volumes[letter] == VolumeUntried)
            untried |= 1u << letter;
    }
    return untried;
}

// Closes the held copies on volumes that are flushed as a whole (a volume's first flush, tried
// now, covers the copies written before it), then flushes the others each through its handle.
static void SettleHeldCopies()
{
    DWORD untried = UntriedVolumes();
    bool eachFile = false;

    for (size_t i = 0; i < g_batch.heldCount; i++) {
        HeldCopy* held = &g_batch.held[i];
        StagedCopy* copy = &g_batch.copies[held->copy];
        int volume = VolumeLetter(copy->temporary) - 'a';
        if (!VolumeCanBeFlushed(copy->temporary)) {
            eachFile = true;
            continue;
        }
        copy->flushed = (untried & (1u << volume)) != 0;
        g_batch.volumeWritten[volume] = g_batch.volumeWritten[volume] || !copy->flushed;
        CloseHandle(held->file);
        held->file = INVALID_HANDLE_VALUE;
    }
    if (eachFile)
        FlushHeldCopies();
    g_batch.heldCount = 0;
}

void StageCopy(const char* source, const char* destination)
{
    StagedCopy* copy;
    HANDLE file;

    if (!g_batch.open || (copy = AddCopy()) == NULL ||
        !CopyText(copy->destination, sizeof(copy->destination), destination) ||
        WriteStagedCopy(source, destination, EntersNewFolder(destination), copy->temporary,
                        sizeof(copy->temporary), &file) != ERROR_SUCCESS)
        return;
    copy->flushed = false;
    g_batch.held[g_batch.heldCount++] = {g_batch.count++, file};
    if (g_batch.heldCount == kHeldOpen)
        SettleHeldCopies();
}

void FlushStagedCopies()
{
    SettleHeldCopies();
    for (char letter = 'a'; letter <= 'z'; letter++) {
        bool flushed;
        if (!g_batch.volumeWritten[letter - 'a'])
            continue;
        g_batch.volumeWritten[letter - 'a'] = false;
        flushed = FlushVolume(letter);
        for (size_t i = 0; i < g_batch.count; i++) {
            if (VolumeLetter(g_batch.copies[i].temporary) == letter)
                g_batch.copies[i].flushed = g_batch.copies[i].flushed || flushed;
        }
    }
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
    for (size_t i = 0; i < g_batch.heldCount; i++)
        CloseHandle(g_batch.held[i].file);
    for (size_t i = 0; i < g_batch.count; i++) {
        if (g_batch.copies[i].temporary[0] != '\0')
            DeleteFileA(g_batch.copies[i].temporary);
    }
    if (g_batch.copies != NULL)
        HeapFree(GetProcessHeap(), 0, g_batch.copies);
    ZeroMemory(&g_batch, sizeof(g_batch));
    ReleasePendingChanges();
    FlushWrittenVolumes();
}
