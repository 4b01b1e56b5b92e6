// Stands in for a Java home's bin\java.exe: it appends "<working directory>|<command line>|
// <CLASSPATH=value, or no CLASSPATH>" to calls.txt beside itself, and to the file that
// CARDSETUP_JAVA_LOG names, waits the milliseconds in delay-ms.txt there and exits with the
// number in exit-status.txt there (0 without one).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void Beside(const char* self, const char* name, char* path, size_t capacity)
{
    const char* slash = strrchr(self, '\\');
    int directoryLength = slash ? (int)(slash - self) : 0;
    snprintf(path, capacity, "%.*s\\%s", directoryLength, self, name);
}

static int NumberBeside(const char* self, const char* name)
{
    char path[MAX_PATH + 32];
    char text[32] = "0";
    FILE* file;

    Beside(self, name, path, sizeof(path));
    file = fopen(path, "r");
    if (file != NULL) {
        if (fgets(text, sizeof(text), file) == NULL)
            text[0] = '\0';
        fclose(file);
    }
    return atoi(text);
}

static bool Record(const char* log, const char* directory, const char* classpath)
{
    FILE* file = fopen(log, "a");

    if (file == NULL)
        return false;
    fprintf(file, "%s|%s|%s%s\n", directory, GetCommandLineA(),
            classpath ? "CLASSPATH=" : "no CLASSPATH", classpath ? classpath : "");
    fclose(file);
    return true;
}

int main()
{
    char self[MAX_PATH + 1];
    char directory[MAX_PATH + 1];
    char log[MAX_PATH + 32];
    char classpath[1024];
    const char* classpathValue = NULL;

    GetModuleFileNameA(NULL, self, sizeof(self));
    GetCurrentDirectoryA(sizeof(directory), directory);
    if (GetEnvironmentVariableA("CLASSPATH", classpath, sizeof(classpath)) > 0)
        classpathValue = classpath;
    Beside(self, "calls.txt", log, sizeof(log));
    if (!Record(log, directory, classpathValue))
        return 99;
    if (GetEnvironmentVariableA("CARDSETUP_JAVA_LOG", log, sizeof(log)) > 0)
        Record(log, directory, classpathValue);
    Sleep(NumberBeside(self, "delay-ms.txt"));
    return NumberBeside(self, "exit-status.txt");
}
