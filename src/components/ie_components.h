// The Internet Explorer step: the OCF class tree into the Windows directory's java\lib, where
// the browser's own Java environment finds it, and the PC/SC bridge into the system directory.
#pragma once

#include <stdint.h>

#include "deploy/status.h"

// Runs from the installation media directory and returns there. StatusOk, StatusError or
// StatusAborted; writes a message (when given a buffer) only for the latter two.
ComponentStatus InstallIeComponents(char* message, uint32_t capacity);
