// Whether this run changed anything on the PC: a file copied or removed, a backup put back, a
// driver package run. Deployment tools ask for a restart only after a run that changed
// something, so the exit code depends on it.
#pragma once

// Called where a change to the PC has just been made.
void NoteChange();

// Whether NoteChange was called during this run.
bool RunChangedSomething();

// Called where a file that was to be replaced or removed is left as it was, with no one to ask.
void NoteFileLeft();

// Whether NoteFileLeft was called during this run.
bool RunLeftAFile();
