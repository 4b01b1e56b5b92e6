// One flag for the whole process: a run is one process, and every change goes through the few
// places that call NoteChange.
#include "deploy/run_changes.h"

#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static bool g_changed = false;
static bool g_fileLeft = false;

void NoteChange()
{
    g_changed = true;
}

bool RunChangedSomething()
{
    return g_changed;
}

void NoteFileLeft()
{
    g_fileLeft = true;
}

bool RunLeftAFile()
{
    return g_fileLeft;
}
