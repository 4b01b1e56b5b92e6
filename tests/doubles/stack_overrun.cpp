// Built with the program's own flags (the stack protector among them), it overruns a stack
// buffer as a careless parser would: "stack_overrun <text> <before> <after>" writes <before>
// whole, copies <text> into 16 bytes, and would write <after> had the function returned.
#include <windows.h>

#include <string.h>

static bool WriteWhole(const char* path, const char* text)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;

    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool whole = WriteFile(file, text, (DWORD)strlen(text), &written, NULL) &&
                 written == strlen(text);
    CloseHandle(file);
    return whole;
}

// The overrun: the check must end the program before this returns into what it overwrote.
static __attribute__((noinline)) size_t CopyName(const char* text)
{
    char name[16];

    strcpy(name, text);
    return strlen(name);
}

int main(int argc, char** argv)
{
    if (argc != 4 || !WriteWhole(argv[2], "written whole before the overrun"))
        return 2;
    size_t length = CopyName(argv[1]);
    WriteWhole(argv[3], "written after the overrun");
    return (int)length;
}
