// The Netscape Navigator 4.x step: OCF's class archives and the PC/SC bridge into the browser's
// Java directories, found through the current user's registry, and the OCF configuration into
// every user profile.
#pragma once

#include <stdint.h>

#include "deploy/status.h"

// Runs from the installation media directory and returns there. A PC without Netscape 4.x
// gets StatusWarning; StatusOk, StatusError and StatusAborted as for the other steps.
ComponentStatus InstallNetscapeComponents(char* message, uint32_t capacity);
