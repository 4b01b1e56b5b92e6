// The staged copies are held in one growing heap array, in the order the tree walk stages them;
// the walk that moves them visits the files in the same order, so a copy is usually found at the
// next place to look. The newest copies stay open, up to kHeldOpen of them: where their volume
// cannot be flushed, each is flushed through its own handle, never opened again by name. Copies
// are held in two windows: the threads flush one while the walk fills the other; a flushing
// thread writes only into its window, never into the copies' array, which may move as it grows.
#include "deploy/copy_batch.h"

#include <string.h>
#include <windows.h>

#include "deploy/file_replace.h"
#include "deploy/heap_array.h"
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
    HANDLE file;   // INVALID_HANDLE_VALUE once closed
    bool flushed;  // by a flushing thread
};

// Copies held open together, and the flush of those that need one of their own.
struct HeldWindow {
    HeldCopy copies[kHeldOpen];
    size_t count;
    LONG next;  // the next copy for a flushing thread to take
    HANDLE threads[kFlushThreads];
    DWORD started;
};

static struct {
    bool open;
    StagedCopy* copies;
    size_t count;
    size_t capacity;
    size_t next;                // where the next look begins
    char folder[MAX_PATH + 1];  // of the last copy staged
    HeldWindow windows[2];
    int filling;                // the window the walk fills; the other may be flushing
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
    void* copies = g_batch.copies;

    if (!MakeRoomForOneMore(&copies, g_batch.count, &g_batch.capacity, sizeof(StagedCopy), 64))
        return NULL;
    g_batch.copies = (StagedCopy*)copies;
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

// Flushes the window's copies still open, taking them in turn with the other threads.
static DWORD WINAPI FlushHeldInTurn(void* heldWindow)
{
    HeldWindow* window = (HeldWindow*)heldWindow;
    LONG index;

    while ((index = InterlockedIncrement(&window->next) - 1) < (LONG)window->count) {
        HeldCopy* held = &window->copies[index];
        if (held->file == INVALID_HANDLE_VALUE)
            continue;
        held->flushed = g_durableFileCalls.flush(held->file) != FALSE;
        CloseHandle(held->file);
        held->file = INVALID_HANDLE_VALUE;
    }
    return 0;
}

// Each file on its own costs the disk a journal commit; several flushes at once share one. The
// threads go on while the walk writes the next copies.
static void StartFlushing(HeldWindow* window)
{
    window->next = 0;
    window->started = 0;
    while (window->started < kFlushThreads &&
           (window->threads[window->started] =
                CreateThread(NULL, 64 * 1024, FlushHeldInTurn, window,
                             STACK_SIZE_PARAM_IS_A_RESERVATION, NULL)) != NULL)
        window->started++;
    if (window->started == 0)
        FlushHeldInTurn(window);  // no thread could start: flushed here, now
}

// Waits for the window's flushes, if any, and gives their results to the copies.
static void FinishFlushing(HeldWindow* window)
{
    if (window->started > 0)
        WaitForMultipleObjects(window->started, window->threads, TRUE, INFINITE);
    for (DWORD i = 0; i < window->started; i++)
        CloseHandle(window->threads[i]);
    window->started = 0;
    for (size_t i = 0; i < window->count; i++) {
        StagedCopy* copy = &g_batch.copies[window->copies[i].copy];
        copy->flushed = copy->flushed || window->copies[i].flushed;
    }
    window->count = 0;
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

// Closes the filling window's copies on volumes that are flushed as a whole (a volume's first
// flush, tried now, covers the copies written before it), and sets the threads flushing the
// others each through its handle, once the other window's flushes are done.
static void SettleHeldCopies()
{
    HeldWindow* window = &g_batch.windows[g_batch.filling];
    DWORD untried = UntriedVolumes();
    bool eachFile = false;

    for (size_t i = 0; i < window->count; i++) {
        HeldCopy* held = &window->copies[i];
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
    FinishFlushing(&g_batch.windows[1 - g_batch.filling]);
    if (!eachFile) {
        window->count = 0;
        return;
    }
    StartFlushing(window);
    g_batch.filling = 1 - g_batch.filling;
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
    HeldWindow* window = &g_batch.windows[g_batch.filling];
    copy->flushed = false;
    window->copies[window->count++] = {g_batch.count++, file, false};
    if (window->count == kHeldOpen)
        SettleHeldCopies();
}

void FlushStagedCopies()
{
    SettleHeldCopies();
    FinishFlushing(&g_batch.windows[1 - g_batch.filling]);
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
    // A batch cut short may still hold copies open, or have threads flushing them.
    for (size_t i = 0; i < g_batch.windows[g_batch.filling].count; i++)
        CloseHandle(g_batch.windows[g_batch.filling].copies[i].file);
    g_batch.windows[g_batch.filling].count = 0;
    FinishFlushing(&g_batch.windows[1 - g_batch.filling]);
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
