// Stands in for a Java home's bin\java.exe: it appends "<working directory>|<command line>" to
// calls.txt beside itself and exits with the number in exit-status.txt there (0 without one).
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

static int ChosenExitStatus(const char* self)
{
    char path[MAX_PATH + 32];
    char text[32] = "0";
    FILE* file;

    Beside(self, "exit-status.txt", path, sizeof(path));
    file = fopen(path, "r");
    if (file != NULL) {
        if (fgets(text, sizeof(text), file) == NULL)
            text[0] = '\0';
        fclose(file);
    }
    return atoi(text);
}

int main()
{
    char self[MAX_PATH + 1];
    char directory[MAX_PATH + 1];
    char log[MAX_PATH + 32];
    FILE* file;

    GetModuleFileNameA(NULL, self, sizeof(self));
    GetCurrentDirectoryA(sizeof(directory), directory);
    Beside(self, "calls.txt", log, sizeof(log));
    file = fopen(log, "a");
    if (file == NULL)
        return 99;
    fprintf(file, "%s|%s\n", directory, GetCommandLineA());
    fclose(file);
    return ChosenExitStatus(self);
}
