// What this run placed on the PC, backed up and kept aside, gathered as the steps go, for the
// installed product's record. A placed file's digest is taken once the run is done, from the media
// file it came from: a file replaced at the restart is not there yet, and a tree copy is not
// slowed down file by file.
#pragma once

#include "deploy/product_record.h"

// destination now holds source's bytes, or will hold them after the restart.
void NotePlacedFile(const char* source, const char* destination);
// backup holds what stood at original before the installer's first run.
void NoteBackupMade(const char* backup, const char* original);
// edit holds a change made to original after an install, kept aside before it was replaced.
void NoteEditKeptAside(const char* edit, const char* original);

// Gives each placed file its digest and version, as the record keeps them. False where a source
// could not be read, or a note could not be kept (a path too long, no memory): such a record
// would misjudge or miss files, and is not to be written.
bool FinishRunRecord(const char* version);

// The run's record so far; entries are in the order noted.
const ProductRecord* RunRecord();

// Empties the run's record, for the next run in the same process.
void ForgetRunRecord();
