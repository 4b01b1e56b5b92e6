// The reader types offered in the dialog and the driver step: when PC/SC lists no reader of the
// GEMPLUS family, the vendor's driver installer for the chosen type is started from Drivers.
#pragma once

#include <stdint.h>

#include "../status.h"

typedef int32_t ReaderType;

struct ReaderTypeEntry {
    const char* displayName;
    ReaderType type;
};

const int kReaderTypeCount = 2;
extern const ReaderTypeEntry ReaderTypeTable[kReaderTypeCount];

extern const char kReaderFoundMessage[];
extern const char kInvalidReaderTypeMessage[];
extern const char kLaunchFailedFormat[];

// The launcher's file name in Drivers for a reader type, or NULL when the type has none.
const char* DriverLauncherName(ReaderType readerType);

// Searches the first length characters of a PC/SC reader list (NUL-separated names) for
// "GEMPLUS" in ASCII upper or lower case; a match never spans two names.
bool ReaderListContainsGemplus(const char* list, int32_t length);

// Asks PC/SC (winscard.dll from the system directory only) whether a GEMPLUS reader is listed.
// Every failure on the way answers false.
bool DetectGemplusReader();

// The driver step: StatusWarning when a GEMPLUS reader is there already, StatusOk when the
// launcher was started (it is not waited for), StatusError otherwise. Leaves the current
// directory where it found it.
ComponentStatus InstallReaderDriver(ReaderType readerType, char* message, uint32_t capacity);
