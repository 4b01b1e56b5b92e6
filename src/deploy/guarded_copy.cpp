// The guarded copy and its copy-conflict prompt. The prompt belongs to no window, so the
// installer dialog stays enabled while the user decides; its text names both files in UTC. The
// copy itself is written beside the destination and moved into place.
#include "deploy/guarded_copy.h"

#include <string.h>

#include "deploy/file_replace.h"
#include "deploy/path_join.h"
#include "deploy/run_changes.h"
#include "deploy/run_log.h"
#include "deploy/run_record.h"
#include "deploy/text.h"
#include "deploy/window_text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const char kConflictCaption[] = "Problem kopiowania pliku";

static const char kConflictFormat[] =
    "Wykryto problem przy próbie skopiowania pliku do katalogu docelowego.\n"
    "Podany plik już istnieje.\n\nInformacje o plikach:\n\n"
    "ŹRÓDŁOWY\nNazwa: %s\nRozmiar: %I64u\nData modyfikacji: %d-%02d-%02d, %02d:%02d:%02d\n\n"
    "DOCELOWY\nNazwa: %s\nRozmiar: %I64u\nData modyfikacji: %d-%02d-%02d, %02d:%02d:%02d\n\n";

static const char kCutMark[] = "...";

static void FormatConflict(char* text, size_t capacity, const char* sourceName,
                           const ConflictFileFacts* source, const char* destinationName,
                           const ConflictFileFacts* destination)
{
    const SYSTEMTIME* s = &source->written;
    const SYSTEMTIME* d = &destination->written;

    FormatText(text, capacity, kConflictFormat, sourceName, source->size, s->wYear, s->wMonth,
               s->wDay, s->wHour, s->wMinute, s->wSecond, destinationName, destination->size,
               d->wYear, d->wMonth, d->wDay, d->wHour, d->wMinute, d->wSecond);
}

// Keeps the end of a name, which tells the file apart, and marks where its beginning was cut.
static void ShortenName(char* shown, size_t capacity, const char* name, size_t maxChars)
{
    size_t length = strlen(name);
    size_t markLength = sizeof(kCutMark) - 1;

    if (length <= maxChars)
        CopyText(shown, capacity, name);
    else if (maxChars <= markLength)
        CopyText(shown, maxChars + 1 < capacity ? maxChars + 1 : capacity, kCutMark);
    else
        FormatText(shown, capacity, "%s%s", kCutMark, name + length - (maxChars - markLength));
}

// Shares room for the names between them: a short name keeps its length, the other gets the rest.
static void ShareRoom(size_t sourceLength, size_t destinationLength, size_t room,
                      size_t* sourceMax, size_t* destinationMax)
{
    size_t half = room / 2;

    if (sourceLength + destinationLength <= room) {
        *sourceMax = sourceLength;
        *destinationMax = destinationLength;
    } else if (sourceLength <= half) {
        *sourceMax = sourceLength;
        *destinationMax = room - sourceLength;
    } else if (destinationLength <= half) {
        *destinationMax = destinationLength;
        *sourceMax = room - destinationLength;
    } else {
        *sourceMax = half;
        *destinationMax = room - half;
    }
}

void ComposeConflictText(char* text, size_t capacity, const ConflictFileFacts* source,
                         const ConflictFileFacts* destination)
{
    char sourceShown[kConflictTextCapacity];
    char destinationShown[kConflictTextCapacity];
    size_t fixedLength;
    size_t room;
    size_t sourceMax;
    size_t destinationMax;

    if (text == NULL || capacity == 0)
        return;
    FormatConflict(text, capacity, "", source, "", destination);
    fixedLength = strlen(text);
    room = fixedLength + 1 < capacity ? capacity - 1 - fixedLength : 0;
    ShareRoom(strlen(source->name), strlen(destination->name), room, &sourceMax, &destinationMax);
    ShortenName(sourceShown, sizeof(sourceShown), source->name, sourceMax);
    ShortenName(destinationShown, sizeof(destinationShown), destination->name, destinationMax);
    FormatConflict(text, capacity, sourceShown, source, destinationShown, destination);
}

// Every sharing: a file that another program has open for writing can still be examined.
static HANDLE OpenForExamination(const char* path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

static void DescribeFile(ConflictFileFacts* facts, const char* name,
                         const BY_HANDLE_FILE_INFORMATION* info)
{
    facts->name = name;
    facts->size = ((uint64_t)info->nFileSizeHigh << 32) | info->nFileSizeLow;
    memset(&facts->written, 0, sizeof(facts->written));
    FileTimeToSystemTime(&info->ftLastWriteTime, &facts->written);
}

static int SameTimeAndSize(const BY_HANDLE_FILE_INFORMATION* a, const BY_HANDLE_FILE_INFORMATION* b)
{
    return a->ftLastWriteTime.dwLowDateTime == b->ftLastWriteTime.dwLowDateTime &&
           a->ftLastWriteTime.dwHighDateTime == b->ftLastWriteTime.dwHighDateTime &&
           a->nFileSizeLow == b->nFileSizeLow && a->nFileSizeHigh == b->nFileSizeHigh;
}

DWORD AttributesForRetry(DWORD attributes)
{
    return attributes & ~kAttributesThatRefuseReplacement;
}

ConflictDecider g_decideConflict = NULL;

FileRefusal RefusalOf(DWORD attributes, DWORD openError)
{
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kAttributesThatRefuseReplacement))
        return RefusalProtected;
    switch (openError) {
    case ERROR_ACCESS_DENIED:
        return RefusalProtected;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:  // a running program's image
        return RefusalInUse;
    default:
        return RefusalOther;
    }
}

static int Decide(const char* source, const char* destination, int pass)
{
    FileRefusal refusal = RefusalOf(GetFileAttributesA(destination), g_openForChange(destination));

    return g_decideConflict(source, destination, pass, refusal);
}

static void LogAnswer(int answer, const char* destination)
{
    if (answer == IDABORT)
        LogPaths("Przerwano przy pliku", destination);
    else if (answer == IDIGNORE)
        LogPaths("Pominięto, plik pozostał", destination);
}

static int Prompt(const char* source, const BY_HANDLE_FILE_INFORMATION* sourceInfo,
                  const char* destination, const BY_HANDLE_FILE_INFORMATION* destinationInfo)
{
    char text[kConflictTextCapacity];
    char sourceName[kPathCapacity];
    char destinationName[kPathCapacity];
    ConflictFileFacts sourceFacts;
    ConflictFileFacts destinationFacts;

    TextFromPath(sourceName, sizeof(sourceName), source);
    TextFromPath(destinationName, sizeof(destinationName), destination);
    DescribeFile(&sourceFacts, sourceName, sourceInfo);
    DescribeFile(&destinationFacts, destinationName, destinationInfo);
    ComposeConflictText(text, sizeof(text), &sourceFacts, &destinationFacts);
    return ShowMessageBox(NULL, text, kConflictCaption,
                          MB_ABORTRETRYIGNORE | MB_ICONQUESTION | MB_DEFBUTTON2);
}

// Examines both files and asks the user, or the run's own decider: IDOK when acceptIdentical
// takes a destination with the same time and size, else the answer. Retry takes off the
// attributes that make Windows refuse the copy while both files are still held, so the next
// attempt can replace it; the destination is never removed in between. 0 when the two files
// cannot both be examined, or the prompt could not be shown.
static int ExamineAndAsk(const char* source, const char* destination, int acceptIdentical,
                         int pass)
{
    HANDLE sourceFile;
    HANDLE destinationFile;
    BY_HANDLE_FILE_INFORMATION sourceInfo;
    BY_HANDLE_FILE_INFORMATION destinationInfo;
    int answer = 0;

    sourceFile = OpenForExamination(source);
    destinationFile = OpenForExamination(destination);
    if (sourceFile == INVALID_HANDLE_VALUE ||
        !GetFileInformationByHandle(sourceFile, &sourceInfo))
        goto done;
    // A file held so that it cannot even be examined is still one in use to a run that decides.
    if (destinationFile == INVALID_HANDLE_VALUE) {
        if (g_decideConflict != NULL && GetFileAttributesA(destination) != INVALID_FILE_ATTRIBUTES)
            answer = Decide(source, destination, pass);
        LogAnswer(answer, destination);
        goto done;
    }
    if (!GetFileInformationByHandle(destinationFile, &destinationInfo))
        goto done;
    if (acceptIdentical && SameTimeAndSize(&sourceInfo, &destinationInfo)) {
        LogPaths("Pozostawiono identyczny plik", destination);
        answer = IDOK;
        goto done;
    }
    answer = g_decideConflict != NULL ? Decide(source, destination, pass)
                                      : Prompt(source, &sourceInfo, destination, &destinationInfo);
    if (answer == IDRETRY)
        SetFileAttributesA(destination, AttributesForRetry(destinationInfo.dwFileAttributes));
    LogAnswer(answer, destination);
done:
    if (sourceFile != INVALID_HANDLE_VALUE)
        CloseHandle(sourceFile);
    if (destinationFile != INVALID_HANDLE_VALUE)
        CloseHandle(destinationFile);
    return answer;
}

int AskAboutFile(const char* source, const char* destination, int pass)
{
    return ExamineAndAsk(source, destination, 0, pass);
}

// The copy waits beside the file for the next restart; where Windows refuses even that, or the
// file must not wait, it stays as it is, as Ignore leaves it.
static CopyResult CopyAtRestart(const char* source, const char* destination, bool mayWait)
{
    if (mayWait && ReplaceAtRestart(source, destination) == ERROR_SUCCESS) {
        NoteChange();
        NotePlacedFile(source, destination);
        LogPaths("Plik w użyciu, zostanie zastąpiony po ponownym uruchomieniu", destination);
    } else {
        NoteFileLeft();
        LogPaths("Plik w użyciu, pozostawiony", destination);
    }
    return CopyDone;
}

static void LogFailedCopy(const char* source, const char* destination, DWORD error)
{
    char what[64];

    FormatText(what, sizeof(what), "Nie skopiowano (błąd %lu)", error);
    LogPaths(what, source, destination);
}

static CopyResult CopyGuarded(const char* source, const char* destination, int acceptIdentical,
                              bool mayWait)
{
    DWORD error;
    bool changed;
    int answer;
    int pass = 0;

    for (;;) {
        if ((error = ReplaceWithCopy(source, destination, &changed)) == ERROR_SUCCESS) {
            if (changed)
                NoteChange();
            NotePlacedFile(source, destination);
            LogPaths(changed ? "Skopiowano" : "Już na miejscu", source, destination);
            return CopyDone;
        }
        answer = ExamineAndAsk(source, destination, acceptIdentical, ++pass);
        if (answer == IDABORT)
            return CopyAborted;
        if (answer == kReplaceAtRestart)
            return CopyAtRestart(source, destination, mayWait);
        if (answer == IDOK || answer == IDIGNORE)
            return CopyDone;
        if (answer != IDRETRY && answer != IDTRYAGAIN) {
            LogFailedCopy(source, destination, error);
            return CopyFailed;
        }
    }
}

CopyResult CopyFileGuarded(const char* source, const char* destination, int acceptIdentical)
{
    return CopyGuarded(source, destination, acceptIdentical, true);
}

CopyResult CopyFileGuardedNow(const char* source, const char* destination)
{
    return CopyGuarded(source, destination, 0, false);
}
