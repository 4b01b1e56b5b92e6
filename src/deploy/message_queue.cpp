// A thread that waits without reading its messages is marked "not responding" by Windows after
// five seconds, which offers to end it, and stalls every program that broadcasts a message.
#include "deploy/message_queue.h"

#include <strsafe.h>  // last: makes the unbounded string calls compile errors

// Touch (WM_TOUCH, 0x0240) and, since Windows 8, pen and touch as pointer messages, up to
// WM_POINTERROUTEDRELEASED (0x0257).
static const UINT kFirstTouchMessage = 0x0240;
static const UINT kLastPointerMessage = 0x0257;

struct MessageRange {
    UINT first;
    UINT last;
};

static const MessageRange kInputRanges[] = {
    {WM_KEYFIRST, WM_KEYLAST},
    {WM_MOUSEFIRST, WM_MOUSELAST},
    {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
    {kFirstTouchMessage, kLastPointerMessage},
};

bool IsUserInput(UINT message)
{
    for (const MessageRange& range : kInputRanges) {
        if (message >= range.first && message <= range.last)
            return true;
    }
    return false;
}

void DropQueuedInput()
{
    MSG queued;
    bool quit = false;
    WPARAM exitCode = 0;

    for (const MessageRange& range : kInputRanges) {
        while (PeekMessageW(&queued, NULL, range.first, range.last, PM_REMOVE)) {
            if (queued.message == WM_QUIT) {
                quit = true;
                exitCode = queued.wParam;
            }
        }
    }
    if (quit)
        PostQuitMessage((int)exitCode);
}

DWORD WaitAnsweringMessages(HANDLE handle)
{
    MSG message;
    DWORD result;
    bool quit = false;
    WPARAM exitCode = 0;

    while ((result = MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT,
                                                 MWMO_INPUTAVAILABLE)) == WAIT_OBJECT_0 + 1) {
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                exitCode = message.wParam;
            } else if (!IsUserInput(message.message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    if (quit)
        PostQuitMessage((int)exitCode);
    return result;
}
