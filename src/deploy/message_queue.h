// The installer's thread while a step holds it: its windows must keep answering, and input the
// user gave meanwhile was meant for buttons that were refused, so it is dropped, never taken
// later. A request to quit is kept for the message loop that follows.
#pragma once

#include <windows.h>

// Keyboard, mouse (client and non-client), touch and pen input.
bool IsUserInput(UINT message);

// Removes the thread's queued input. PeekMessage takes a waiting WM_QUIT whatever its filter;
// one met on the way is posted again.
void DropQueuedInput();

// Waits for handle and meanwhile answers the thread's messages: windows repaint, messages that
// other programs send are answered, input is dropped, a WM_QUIT is posted again at the end.
// Returns the wait's result (WAIT_OBJECT_0 when handle was signalled).
DWORD WaitAnsweringMessages(HANDLE handle);
