// Answers the installer's copy-conflict prompts from a helper thread, the way a user would: it
// waits for the message box, records its text and presses the button that the test scripted.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PromptAnswerer {
public:
    // Called with the prompt's text and its number (from 0); returns the button to press.
    // Past ten prompts the answerer presses Abort instead, so that no test loops for ever.
    using Reply = std::function<int(const std::string& text, size_t index)>;

    // Answers the prompts in turn with these buttons; any prompt beyond them gets Abort.
    explicit PromptAnswerer(std::vector<int> answers = {});
    explicit PromptAnswerer(Reply reply);
    ~PromptAnswerer();

    size_t Count();
    std::vector<std::string> Texts();

private:
    void Run();
    void Answer(HWND prompt);

    Reply reply_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> texts_;
    std::thread thread_;
};

// The text of a message box: the longest text among its static controls.
std::string MessageBoxText(HWND box);

// Shows and answers one prompt, once per process: the first message box makes user32 open keys
// and files that it keeps, which would otherwise look like handles a step left open.
void WarmUpMessageBoxes();
