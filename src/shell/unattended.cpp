// GetUserObjectInformationW(UOI_FLAGS) tells whether the window station is shown: only the
// interactive one, WinSta0 of a user's session, is. A service's own station is not.
#include "shell/unattended.h"

#include <strsafe.h>  // last: makes the unbounded string calls compile errors

const char kUnattendedNote[] = "Brak widocznego pulpitu: instalacja bez okien, jak z /quiet";

DesktopReader g_readDesktop = ReadDesktopFacts;

DesktopFacts ReadDesktopFacts()
{
    DesktopFacts facts = {true, 1};
    USEROBJECTFLAGS flags;
    HWINSTA station = GetProcessWindowStation();
    DWORD session;

    if (station != NULL &&
        GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), NULL))
        facts.stationVisible = (flags.dwFlags & WSF_VISIBLE) != 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session))
        facts.session = session;
    return facts;
}

bool SomeoneCanAnswer(const DesktopFacts& facts)
{
    return facts.stationVisible && facts.session != 0;
}

bool QuietWhereNoOneCanAnswer(Options* options)
{
    if (options->quiet || SomeoneCanAnswer(g_readDesktop()))
        return false;
    options->quiet = true;
    return true;
}
