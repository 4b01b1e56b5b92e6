// /uninstall: the installer's changes taken back from the media, asked for first and summed up
// afterwards, or, with /quiet, without a window and with an exit code.
#pragma once

#include "shell/command_line.h"

// 0 when everything the installer had done is undone (files that are not its own are kept by
// design), or the user said No; in a quiet run 1603 when a file of the installer's could not be
// restored or removed.
int RunUninstall(const Options* options);
