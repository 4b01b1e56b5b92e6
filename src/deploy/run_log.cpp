// Each line is put together in Unicode from its pieces, each converted from its own code page,
// and written in UTF-8 at once, so that a run cut short leaves every line it reached. The file
// begins with UTF-8's byte-order mark and ends its lines with CR LF, as CMTrace and the older
// Notepads need to show the Polish letters and the lines.
#include "deploy/run_log.h"

#include <stdarg.h>
#include <string.h>
#include <windows.h>

#include "deploy/log_file.h"
#include "deploy/text.h"
#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const size_t kLongestLine = 4096;

static HANDLE g_log = INVALID_HANDLE_VALUE;
static bool g_logIncomplete = false;

static void WriteLine(const wchar_t* line);
static void AppendConverted(wchar_t* line, size_t capacity, UINT codePage, const char* text);

// Takes the file as the log and writes its byte-order mark; whether there is a log now.
static bool StartLog(HANDLE file)
{
    static const char kByteOrderMark[] = "\xEF\xBB\xBF";
    DWORD written = 0;

    g_log = file;
    g_logIncomplete = g_log == INVALID_HANDLE_VALUE ||
                      !WriteFile(g_log, kByteOrderMark, 3, &written, NULL) || written != 3;
    return g_log != INVALID_HANDLE_VALUE;
}

// The line that says where the log was not made and why: the path in Unicode, the rest in the
// installer's code page.
static void LogRefusedPlace(const wchar_t* path, LogRefusal refusal, DWORD error)
{
    char reason[256];
    wchar_t line[kLongestLine] = L"";

    if (error != ERROR_SUCCESS)
        StringCchPrintfA(reason, 256, "): %s (błąd %lu); zapisano tutaj", LogRefusalText(refusal),
                         error);
    else
        StringCchPrintfA(reason, 256, "): %s; zapisano tutaj", LogRefusalText(refusal));
    AppendConverted(line, kLongestLine, kTextCodePage, "Nie utworzono dziennika w podanym miejscu (");
    StringCchCatW(line, kLongestLine, path);
    AppendConverted(line, kLongestLine, kTextCodePage, reason);
    WriteLine(line);
}

RunLogPlace OpenRunLog(const wchar_t* path, bool system, wchar_t* fallback, size_t capacity)
{
    LogRefusal refusal;
    DWORD error;

    if (StartLog(CreateNamedLogFile(path, &refusal, &error)))
        return RunLogAsAsked;
    if (!OpenDefaultRunLog(system, fallback, capacity))
        return RunLogNotOpened;
    LogRefusedPlace(path, refusal, error);
    return RunLogInDefaultPlace;
}

bool OpenDefaultRunLog(bool system, wchar_t* path, size_t capacity)
{
    bool movedAside = false;

    if (!StartLog(CreateDefaultLogFile(system, path, capacity, &movedAside)))
        return false;
    if (movedAside)
        LogText("Folder Temp\\cardsetup w folderze Windows nie jest chroniony (mogło go założyć inne "
                "konto): dziennik zapisano w nowym folderze o losowej nazwie");
    return true;
}

bool RunLogComplete()
{
    return g_log != INVALID_HANDLE_VALUE && !g_logIncomplete;
}

void CloseRunLog()
{
    if (g_log != INVALID_HANDLE_VALUE)
        CloseHandle(g_log);
    g_log = INVALID_HANDLE_VALUE;
}

// Appends text converted from codePage to line (capacity characters), cut to fit.
static void AppendConverted(wchar_t* line, size_t capacity, UINT codePage, const char* text)
{
    size_t used = wcslen(line);
    int length = MultiByteToWideChar(codePage, 0, text, (int)strnlen(text, capacity), line + used,
                                     (int)(capacity - used - 1));
    line[used + (length > 0 ? length : 0)] = L'\0';
}

// Copies text into ended (capacity characters), a CR put before every LF that lacks one.
static void EndLinesWithCrLf(wchar_t* ended, size_t capacity, const wchar_t* text)
{
    size_t used = 0;

    for (; *text != L'\0' && used + 2 < capacity; text++) {
        if (*text == L'\n' && (used == 0 || ended[used - 1] != L'\r'))
            ended[used++] = L'\r';
        ended[used++] = *text;
    }
    ended[used] = L'\0';
}

static void WriteLine(const wchar_t* line)
{
    wchar_t stamped[kLongestLine];
    wchar_t ended[kLongestLine];
    char utf8[3 * kLongestLine];
    SYSTEMTIME now;
    DWORD written = 0;
    int length;

    GetLocalTime(&now);
    StringCchPrintfW(stamped, kLongestLine, L"%04u-%02u-%02u %02u:%02u:%02u %s\n", now.wYear,
                     now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, line);
    EndLinesWithCrLf(ended, kLongestLine, stamped);
    length = WideCharToMultiByte(CP_UTF8, 0, ended, -1, utf8, sizeof(utf8), NULL, NULL) - 1;
    if (length <= 0 || !WriteFile(g_log, utf8, (DWORD)length, &written, NULL) ||
        written != (DWORD)length)
        g_logIncomplete = true;
}

void LogText(const char* format, ...)
{
    char text[kLongestLine];
    wchar_t line[kLongestLine] = L"";
    va_list arguments;

    if (g_log == INVALID_HANDLE_VALUE)
        return;
    va_start(arguments, format);
    if (FAILED(StringCchVPrintfA(text, kLongestLine, format, arguments)))
        text[kLongestLine - 1] = '\0';
    va_end(arguments);
    AppendConverted(line, kLongestLine, kTextCodePage, text);
    WriteLine(line);
}

void LogPaths(const char* what, const char* path, const char* secondPath)
{
    wchar_t line[kLongestLine] = L"";

    if (g_log == INVALID_HANDLE_VALUE)
        return;
    AppendConverted(line, kLongestLine, kTextCodePage, what);
    StringCchCatW(line, kLongestLine, L": ");
    AppendConverted(line, kLongestLine, CP_ACP, path);
    if (secondPath != nullptr) {
        StringCchCatW(line, kLongestLine, L" -> ");
        AppendConverted(line, kLongestLine, CP_ACP, secondPath);
    }
    WriteLine(line);
}

void LogWide(const char* what, const wchar_t* text)
{
    wchar_t line[kLongestLine] = L"";

    if (g_log == INVALID_HANDLE_VALUE)
        return;
    AppendConverted(line, kLongestLine, kTextCodePage, what);
    StringCchCatW(line, kLongestLine, L": ");
    StringCchCatW(line, kLongestLine, text);
    WriteLine(line);
}
