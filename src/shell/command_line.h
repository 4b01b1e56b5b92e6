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

struct Options {
    bool quiet;                              // /quiet, /S: no window, no prompt, an exit code
    bool help;                               // /?, /help
    bool uninstall;                          // /uninstall
    unsigned components;                     // /components=: Component bits
    int readerRow;                           // /reader=: 0, 1 or kReaderRowAuto
    wchar_t log[MAX_PATH + 1];               // /log: empty when none was named
    wchar_t driverArguments[kLongestArgument];  // /driver-args: the package's own switches
};

// Takes the next argument from *cursor by the rules of Windows' own splitting (quotes group,
// backslashes double only before a quote) into argument (capacity characters). False when no
// argument is left or it would not fit.
bool NextArgument(const wchar_t** cursor, wchar_t* argument, size_t capacity);

// Reads the whole command line, the program's name first. False when an argument is not one of
// the switches or lacks its value; options then holds every switch that was understood.
bool ParseCommandLine(const wchar_t* commandLine, Options* options);
