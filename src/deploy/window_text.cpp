// Each text is converted into a buffer as large as the longest text its window gets: the report
// for a window's text, the welcome question for a message box. A longer text is cut, never
// written past the buffer.
#include "deploy/window_text.h"

#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const size_t kLongestWindowText = 4096;
static const size_t kLongestCaption = 128;

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style)
{
    wchar_t wideText[kLongestWindowText];
    wchar_t wideCaption[kLongestCaption];

    WideFromText(wideText, kLongestWindowText, text);
    WideFromText(wideCaption, kLongestCaption, caption);
    return MessageBoxW(owner, wideText, wideCaption, style);
}

void ShowWindowText(HWND window, const char* text)
{
    wchar_t wide[kLongestWindowText];

    WideFromText(wide, kLongestWindowText, text);
    SetWindowTextW(window, wide);
}

void AddComboBoxRow(HWND comboBox, const char* text)
{
    wchar_t wide[kLongestCaption];

    WideFromText(wide, kLongestCaption, text);
    SendMessageW(comboBox, CB_ADDSTRING, 0, (LPARAM)wide);
}
