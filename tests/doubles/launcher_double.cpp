// Stands in for a driver launcher: it leaves proof that it ran, and in which directory, as a
// file "ran-<its own name>.txt" holding its working directory, and its command line in
// "arguments-<its own name>.txt".
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
