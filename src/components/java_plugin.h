// The Java Plug-in step: OCF into every Java runtime and development kit registered under
// HKLM\SOFTWARE\JavaSoft, CopyPolicyFile run with the first home's launcher, and the PC/SC
// bridge into the system directory and into the last runtime read.
#pragma once

#include <stdint.h>

#include "deploy/status.h"

// Runs from the installation media directory and returns there. StatusOk, StatusError,
// StatusAborted or StatusWarning; writes a message (when given a buffer) for all but StatusOk.
ComponentStatus InstallJavaPluginComponents(char* message, uint32_t capacity);
