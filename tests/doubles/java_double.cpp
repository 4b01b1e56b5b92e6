// Stands in for a Java home's bin\java.exe: it appends "<working directory>|<command line>|
// <CLASSPATH=value, or no CLASSPATH>" to calls.txt beside itself, and to the file that
// CARDSETUP_JAVA_LOG names, waits the milliseconds in delay-ms.txt there and exits with the
// number in exit-status.txt there (0 without one). It finds its files in Unicode, as a real
// launcher does, and logs the directory in UTF-8, so that a folder and its ANSI look-alike differ.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <string>

static std::wstring Beside(const wchar_t* name)
{
    wchar_t self[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH + 1);
    std::wstring path(self, length <= MAX_PATH ? length : 0);
    return path.substr(0, path.rfind(L'\\') + 1) + name;
}

static int NumberBeside(const wchar_t* name)
{
    char text[32] = "0";
    FILE* file = _wfopen(Beside(name).c_str(), L"r");

    if (file != NULL) {
        if (fgets(text, sizeof(text), file) == NULL)
            text[0] = '\0';
        fclose(file);
    }
    return atoi(text);
}

// The log is opened again after a moment when it cannot be at once: the launcher before may
// still be letting it go.
static bool Record(const std::wstring& log, const char* directory, const char* classpath)
{
    FILE* file = _wfopen(log.c_str(), L"a");

    for (int attempt = 0; file == NULL && attempt < 20; attempt++) {
        Sleep(50);
        file = _wfopen(log.c_str(), L"a");
    }
    if (file == NULL)
        return false;
    fprintf(file, "%s|%s|%s%s\n", directory, GetCommandLineA(),
            classpath ? "CLASSPATH=" : "no CLASSPATH", classpath ? classpath : "");
    fclose(file);
    return true;
}

int main()
{
    wchar_t wideDirectory[MAX_PATH + 1];
    char directory[4 * MAX_PATH + 1];
    wchar_t log[MAX_PATH + 1];
    char classpath[1024];
    const char* classpathValue = NULL;

    GetCurrentDirectoryW(MAX_PATH + 1, wideDirectory);
    WideCharToMultiByte(CP_UTF8, 0, wideDirectory, -1, directory, sizeof(directory), NULL, NULL);
    if (GetEnvironmentVariableA("CLASSPATH", classpath, sizeof(classpath)) > 0)
        classpathValue = classpath;
    if (!Record(Beside(L"calls.txt"), directory, classpathValue))
        return 99;
    if (GetEnvironmentVariableW(L"CARDSETUP_JAVA_LOG", log, MAX_PATH + 1) > 0)
        Record(log, directory, classpathValue);
    Sleep(NumberBeside(L"delay-ms.txt"));
    return NumberBeside(L"exit-status.txt");
}
