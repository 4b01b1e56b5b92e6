// The installer's thread while a step holds it, in this test's own thread: queued input goes, a
// request to quit stays, and windows keep answering what other threads send them.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>
#include <vector>

#include "deploy/message_queue.h"

namespace {

const UINT kPointerDown = 0x0246;  // WM_POINTERDOWN, a tap on Windows 8 and later
const UINT kTouch = 0x0240;        // WM_TOUCH

// What is left in this thread's queue, in the order it would be taken.
std::vector<UINT> TakeQueue(WPARAM* quitCode)
{
    std::vector<UINT> left;
    MSG message;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
        left.push_back(message.message);
        if (message.message == WM_QUIT)
            *quitCode = message.wParam;
    }
    return left;
}

void PostInputAndQuit()
{
    for (UINT input : {(UINT)WM_KEYDOWN, (UINT)WM_CHAR, (UINT)WM_LBUTTONDOWN,
                       (UINT)WM_NCLBUTTONDOWN, kTouch, kPointerDown})
        PostThreadMessageW(GetCurrentThreadId(), input, 0, 0);
    PostQuitMessage(7);
}

}  // namespace

TEST(QueuedInput, KeysClicksTapsAndPenGoAndAQuitStays)
{
    WPARAM quitCode = 0;
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
    PostInputAndQuit();

    DropQueuedInput();
    std::vector<UINT> expected = {WM_APP, WM_QUIT};
    EXPECT_EQ(expected, TakeQueue(&quitCode));
    EXPECT_EQ(7u, quitCode);
}

// While it waits, a window of the thread answers another thread at once (without the messages
// being read, the sender would wait until the end), and the keys typed into it do not arrive.
TEST(WaitAnsweringMessages, WindowsAnswerWhileInputIsDroppedAndAQuitStays)
{
    HWND window = CreateWindowW(L"EDIT", L"", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    HANDLE done = CreateEventW(NULL, TRUE, FALSE, NULL);
    ASSERT_TRUE(window != NULL && done != NULL);
    bool answered = false;
    PostMessageW(window, WM_CHAR, L'x', 0);
    PostInputAndQuit();
    std::thread other([&] {
        DWORD_PTR result;
        answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &result) != 0;
        SetEvent(done);
    });

    EXPECT_EQ(WAIT_OBJECT_0, WaitAnsweringMessages(done));
    other.join();
    WPARAM quitCode = 0;
    std::vector<UINT> left = TakeQueue(&quitCode);
    EXPECT_TRUE(answered) << "the window did not answer while the thread waited";
    EXPECT_EQ(0, GetWindowTextLengthW(window)) << "a key reached the window";
    EXPECT_EQ(std::vector<UINT>{WM_QUIT}, left);
    EXPECT_EQ(7u, quitCode);
    CloseHandle(done);
    DestroyWindow(window);
}
