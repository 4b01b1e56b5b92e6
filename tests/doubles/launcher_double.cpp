// Stands in for a driver launcher: it leaves proof that it ran, and in which directory, as a
// file "ran-<its own name>.txt" holding its working directory, and its command line in
// "arguments-<its own name>.txt". A file "delay-ms-<its own name>.txt" there makes it wait that
// many milliseconds first, as a package at work does.
#include <windows.h>

#include <stdio.h>
#include <string.h>

int main()
{
    char self[MAX_PATH + 1];
    char directory[MAX_PATH + 1];
    char proof[MAX_PATH + 16];
    const char* name;
    FILE* file;

    GetModuleFileNameA(NULL, self, sizeof(self));
    name = strrchr(self, '\\') ? strrchr(self, '\\') + 1 : self;
    GetCurrentDirectoryA(sizeof(directory), directory);
    snprintf(proof, sizeof(proof), "delay-ms-%s.txt", name);
    file = fopen(proof, "r");
    if (file != NULL) {
        unsigned delay = 0;
        if (fscanf(file, "%u", &delay) == 1)
            Sleep(delay);
        fclose(file);
    }
    snprintf(proof, sizeof(proof), "ran-%s.txt", name);
    file = fopen(proof, "w");
    if (file == NULL)
        return 1;
    fputs(directory, file);
    fclose(file);
    snprintf(proof, sizeof(proof), "arguments-%s.txt", name);
    file = fopen(proof, "w");
    if (file == NULL)
        return 1;
    fputs(GetCommandLineA(), file);
    fclose(file);
    return 0;
}
