// The run's log, for IT staff who deploy the installer: what each step did, each line with its
// time, in UTF-8. Without an open log every call does nothing, so the steps write their lines
// whether or not a log was asked for.
#pragma once

#include <stddef.h>
#include <wchar.h>

enum RunLogPlace {
    RunLogNotOpened,
    RunLogAsAsked,
    RunLogInDefaultPlace,
};

// Creates the log at path: what the name held is replaced, never followed, in a folder that no
// other account controls (log_file.h). Where it cannot be made so, the default log is made
// instead, its path in fallback (capacity characters), and its first line names the refused
// path and why, so that no log is lost unsaid.
RunLogPlace OpenRunLog(const wchar_t* path, bool system, wchar_t* fallback, size_t capacity);
// Creates the default log, in a folder and under a name that no other account decides; its path
// in path (capacity characters). It says so when SYSTEM's folder was another account's and a
// folder of a random name took its place. False when it cannot be made.
bool OpenDefaultRunLog(bool system, wchar_t* path, size_t capacity);
// Whether a log was opened and every line reached it.
bool RunLogComplete();
void CloseRunLog();

// A line of the installer's own text (code page 1250), formatted as FormatText does; no path may
// be among the arguments, as paths are in the ANSI code page.
void LogText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(ms_printf, 1, 2)))
#endif
    ;
// "what: path", or "what: path -> secondPath" when secondPath is given; what in code page 1250,
// the paths in the ANSI code page, each written with its exact letters.
void LogPaths(const char* what, const char* path, const char* secondPath = nullptr);
// "what: text", the text in Unicode.
void LogWide(const char* what, const wchar_t* text);
