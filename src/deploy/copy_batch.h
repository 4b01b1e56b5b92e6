// A tree's copies made durable together. Flushing every file of a tree on its own made the tree
// copy more than twice as slow as xcopy; here every copy is first written beside its place, the
// volumes written to are flushed once, the guarded copy then moves each into place as before,
// and the volumes are flushed again at the end. No file is ever moved into place unflushed.
#pragma once

#include <stddef.h>

// Opens the batch; copies staged from now on wait for FlushStagedCopies.
void BeginCopyBatch();

// Writes source's bytes beside destination, unflushed, unless destination holds them already or
// refuses to be replaced; where nothing is staged the guarded copy writes its copy as usual.
void StageCopy(const char* source, const char* destination);

// Makes every staged copy durable: each volume with one flush, or, where a volume cannot be
// flushed (no rights, a network share), each of its copies on its own.
void FlushStagedCopies();

// Whether the batch holds a flushed copy for destination: its name goes to temporary, and the
// batch lets it go to the caller, who moves it or removes it.
bool TakeStagedCopy(const char* destination, char* temporary, size_t capacity);

// Whether path is a copy that the open batch has staged, not a leftover of an earlier run.
bool IsStagedCopy(const char* path);

// Removes what was staged and never moved (a copy cut short), closes the batch, and flushes the
// volumes that the moves went to.
void EndCopyBatch();
