// Copying what a wildcard pattern matches in one directory into an existing directory, depth
// first, recreating matching subdirectories. The first failure ends the whole copy.
#pragma once

#include "deploy/status.h"

// pattern: a directory part ending in a backslash and a wildcard, e.g. "ocf\*".
// failedPathOut: null, or a buffer of kPathCapacity characters; it is emptied first and on
// failure receives the path at which the copy stopped (cut to fit when that path is too long).
CopyResult CopyTree(const char* pattern, const char* destinationDir, int recurse,
                    char* failedPathOut);
