// Where no one can answer a window: session 0, which holds services and the tasks and startup
// scripts run as SYSTEM, and any window station that is not shown. An interactive start there
// would wait for ever on its welcome question, so it runs as a quiet one.
#pragma once

#include <windows.h>

#include "shell/command_line.h"

struct DesktopFacts {
    bool stationVisible;  // the process's window station is shown (WSF_VISIBLE)
    DWORD session;        // the process's session; 0 is the services'
};

// What Windows says of this process; what it cannot say is taken as a visible desktop in a
// user's session, as every start was taken before.
DesktopFacts ReadDesktopFacts();

typedef DesktopFacts (*DesktopReader)();
// ReadDesktopFacts unless a test has put its double here: Wine shows every process a visible
// window station in a user's session.
extern DesktopReader g_readDesktop;

// Whether a person can see and answer the program's windows there.
bool SomeoneCanAnswer(const DesktopFacts& facts);

// Makes an interactive start quiet where no one can answer its windows. True when it did.
bool QuietWhereNoOneCanAnswer(Options* options);

// The log's line for such a start.
extern const char kUnattendedNote[];
