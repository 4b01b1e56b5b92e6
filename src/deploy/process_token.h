// What the process's own token says about its rights. The log judges its folder only for an
// elevated run, and the shell refuses to start without administrator rights; both ask here.
#pragma once

// Whether the token could be read; *elevated says whether it is elevated (false when unread).
bool ReadTokenElevation(bool* elevated);
