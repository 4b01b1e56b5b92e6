// The command line of deployment tools. Without arguments the installer is the interactive one
// of the welcome question and the dialog; switches ask for a run without windows, a log, the
// components and the reader type, the driver package's own switches, or the usage.
#pragma once

#include <stddef.h>
#include <windows.h>

// Components a run may be asked for, as bits.
enum Component : unsigned {
    ComponentDriver = 1,
    ComponentJava = 2,
    ComponentIe = 4,
    ComponentNetscape = 8,
};

const int kReaderRowAuto = -1;
const size_t kLongestArgument = 1024;
// How long a quiet run waits for the driver package: a startup script is given 10 minutes in
// all, and the rest of the run takes seconds. /driver-timeout may ask for up to a day.
const DWORD kDefaultDriverWaitMinutes = 8;
const DWORD kLongestDriverWaitSeconds = 24 * 60 * 60;

struct Options {
    bool quiet;                              // /quiet, /S: no window, no prompt, an exit code
    bool help;                               // /?, /help
    bool uninstall;                          // /uninstall
    unsigned components;                     // /components=: Component bits
    int readerRow;                           // /reader=: 0, 1 or kReaderRowAuto
    wchar_t log[MAX_PATH + 1];               // /log: empty when none was named
    wchar_t driverArguments[kLongestArgument];  // /driver-args: the package's own switches
    DWORD driverTimeLimitMs;                 // /driver-timeout: how long the package is awaited
};

enum ArgumentResult {
    ArgumentNone,     // no argument is left
    ArgumentRead,     // the argument is in the buffer
    ArgumentTooLong,  // it was passed over whole; the buffer holds an empty text
};

// Takes the next argument from *cursor by the rules of Windows' own splitting (quotes group,
// backslashes double only before a quote) into argument (capacity characters). The cursor passes
// an argument too long for the buffer all the same, so that the ones after it can be read.
ArgumentResult NextArgument(const wchar_t** cursor, wchar_t* argument, size_t capacity);

// Reads one argument as a switch; a value that comes as the next argument is taken from *cursor.
// False when it is not one of the switches, or lacks its value, or its value is refused.
bool ParseSwitch(const wchar_t* argument, const wchar_t** cursor, Options* options);

// Reads the whole command line, the program's name first. False when an argument is not one of
// the switches, lacks its value or is too long; options then holds every switch understood.
bool ParseCommandLine(const wchar_t* commandLine, Options* options);
