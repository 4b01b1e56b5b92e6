// Removal of an OCF library that an earlier OCF environment left in the system directory,
// where it would shadow the library that the installer deploys into each Java runtime.
#pragma once

#include <stdint.h>

// Returns 1 when ocf1.2.jar was removed, was not there, or the system directory is unknown;
// 0 when the file stays, and then the message (if a buffer is given) says so.
int32_t RemoveStaleOcfJar(char* message, uint32_t capacity);
