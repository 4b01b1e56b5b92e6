// Taking back what the installer put in place, from the media as the installer runs: a file it
// replaced gets its backup back, and the files that are the media's byte for byte are removed.
// Anything else (another product's file, or one the user changed) stays. The reader's driver is
// not touched: its package has an uninstaller of its own.
#pragma once

#include <stdint.h>

struct RemovalCounts {
    int32_t restored;  // files that got their backup back
    int32_t removed;   // the installer's files taken away
    int32_t kept;      // files that are not the installer's, and policies without a backup
    int32_t failed;    // the installer's files that could not be restored or removed
    int32_t atRestart; // of those restored or removed, the ones in use: done at the next restart
    bool aborted;      // the user chose Abort
    bool mediaMissing; // the media lack the files to compare with: nothing was changed
    char edited[384];  // files changed since the install, kept with their backups, one a line
};

// Runs with the installation media directory as the current directory; counts starts zeroed. Every Java home, the
// user's profile, the system directory, and the Internet Explorer and Netscape 4.x files.
void RemoveOcf(RemovalCounts* counts);
