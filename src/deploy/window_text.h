// Showing the installer's texts in its windows. The texts are code page 1250 inside the program;
// windows get them in Unicode, so that they read the same on an English or a UTF-8 Windows as on
// a Polish one, whose ANSI code page is 1250.
#pragma once

#include <windows.h>

// MessageBoxW with the text and caption converted; returns its answer.
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style);

// SetWindowTextW with the text converted.
void ShowWindowText(HWND window, const char* text);

// CB_ADDSTRING of a combo box, with the row's text converted.
void AddComboBoxRow(HWND comboBox, const char* text);
