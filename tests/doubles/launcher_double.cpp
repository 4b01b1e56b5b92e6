// Stands in for a driver launcher or a vendor's package: it leaves proof that it ran, and in
// which directory, as a file "ran-<its own name>.txt" holding its working directory, its command
// line in "arguments-<its own name>.txt" and the arguments its C runtime split from it, one a
// line, in "argv-<its own name>.txt". It works for the milliseconds in "delay-ms-<its own
// name>.txt" in that directory and exits with the number in "exit-status-<its own name>.txt",
// each 0 without its file, as a package that takes its time, fails or wants a restart does.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static bool WriteProof(const char* prefix, const char* name, const char* text)
{
    char path[MAX_PATH + 32];
    FILE* file;

    snprintf(path, sizeof(path), "%s-%s.txt", prefix, name);
    file = fopen(path, "w");
    if (file == NULL)
        return false;
    fputs(text, file);
    fclose(file);
    return true;
}

static int ChosenNumber(const char* prefix, const char* name)
{
    char path[MAX_PATH + 32];
    char text[32] = "0";
    FILE* file;

    snprintf(path, sizeof(path), "%s-%s.txt", prefix, name);
    file = fopen(path, "r");
    if (file != NULL) {
        if (fgets(text, sizeof(text), file) == NULL)
            text[0] = '\0';
        fclose(file);
    }
    return atoi(text);
}

int main(int argc, char** argv)
{
    char self[MAX_PATH + 1];
    char directory[MAX_PATH + 1];
    char arguments[4096] = "";
    size_t used = 0;
    const char* name;

    GetModuleFileNameA(NULL, self, sizeof(self));
    name = strrchr(self, '\\') ? strrchr(self, '\\') + 1 : self;
    GetCurrentDirectoryA(sizeof(directory), directory);
    for (int i = 1; i < argc && used < sizeof(arguments); i++)
        used += (size_t)snprintf(arguments + used, sizeof(arguments) - used, "%s\n", argv[i]);
    if (!WriteProof("ran", name, directory) || !WriteProof("arguments", name, GetCommandLineA()) ||
        !WriteProof("argv", name, arguments))
        return 1;
    Sleep((DWORD)ChosenNumber("delay-ms", name));
    return ChosenNumber("exit-status", name);
}
