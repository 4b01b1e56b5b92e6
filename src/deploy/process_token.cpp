// The token is opened for querying only and closed before returning.
#include "deploy/process_token.h"

#include <windows.h>

bool ReadTokenElevation(bool* elevated)
{
    HANDLE token;
    TOKEN_ELEVATION elevation = {0};
    DWORD size;
    bool known;

    *elevated = false;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    known = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) != 0;
    CloseHandle(token);
    *elevated = known && elevation.TokenIsElevated != 0;
    return known;
}
