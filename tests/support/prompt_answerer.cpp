// The helper thread behind PromptAnswerer. It polls for the prompt's window by its caption and
// waits for each answered prompt to close before it looks for the next one.
#include "prompt_answerer.h"

#include "test_files.h"

static const char kConflictCaption[] = "Problem kopiowania pliku";

// A reply that asks for Retry on a file that never comes free would loop for ever: past this
// many prompts each one gets Abort, which the test's count of prompts then shows. No test
// expects more than a few, and each takes about two seconds under Wine.
static const size_t kMostPrompts = 10;

static BOOL CALLBACK CollectStaticText(HWND child, LPARAM longest)
{
    char className[32];
    wchar_t text[2048];
    std::string* best = reinterpret_cast<std::string*>(longest);

    GetClassNameA(child, className, sizeof(className));
    if (lstrcmpiA(className, "Static") == 0) {
        int length = GetWindowTextW(child, text, sizeof(text) / sizeof(text[0]));
        std::string shown = Cp1250(std::wstring(text, length > 0 ? length : 0));
        if (shown.size() > best->size())
            *best = shown;
    }
    return TRUE;
}

std::string MessageBoxText(HWND box)
{
    std::string longest;
    EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&longest));
    return longest;
}

PromptAnswerer::PromptAnswerer(std::vector<int> answers)
    : PromptAnswerer(Reply([answers](const std::string&, size_t index) {
          return index < answers.size() ? answers[index] : IDABORT;
      }))
{
}

PromptAnswerer::PromptAnswerer(Reply reply) : reply_(std::move(reply)), thread_([this] { Run(); })
{
}

PromptAnswerer::~PromptAnswerer()
{
    stop_ = true;
    thread_.join();
}

size_t PromptAnswerer::Count()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_.size();
}

std::vector<std::string> PromptAnswerer::Texts()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

void PromptAnswerer::Run()
{
    while (!stop_) {
        HWND prompt = FindWindowA("#32770", kConflictCaption);
        if (prompt != NULL && IsWindowVisible(prompt))
            Answer(prompt);
        else
            Sleep(10);
    }
}

void PromptAnswerer::Answer(HWND prompt)
{
    std::string text = MessageBoxText(prompt);
    size_t index;
    int button;

    {
        std::lock_guard<std::mutex> lock(mutex_);
        index = texts_.size();
        texts_.push_back(text);
    }
    button = index < kMostPrompts ? reply_(text, index) : IDABORT;
    PostMessageA(prompt, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(prompt, button)));
    while (IsWindow(prompt) && !stop_)
        Sleep(5);
}

void WarmUpMessageBoxes()
{
    static bool warm = false;

    if (warm)
        return;
    warm = true;
    PromptAnswerer user({IDIGNORE});
    MessageBoxA(NULL, "", kConflictCaption, MB_ABORTRETRYIGNORE);
}
