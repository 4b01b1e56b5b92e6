// The demo's bin\java.exe: it hands its command line to the machine's own JDK (the Unix path in
// CARDSETUP_DEMO_JAVA), which Wine starts as a Unix program, so CopyPolicyFile really runs.
// The Wine user's profile is passed as user.home, so nothing lands in the real home directory.
// Wine does not report when a Unix program ends, so its exit status comes back through a file.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace {

typedef char*(CDECL* UnixFileNameFunction)(const WCHAR* dosName);

// Paths are taken in Unicode, as the real launcher takes them: a folder whose letters this
// process's ANSI code page lacks is still found.
std::string UnixPath(const std::wstring& windowsPath)
{
    UnixFileNameFunction toUnix = (UnixFileNameFunction)(void*)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (toUnix == NULL)
        return "";
    char* unix = toUnix(windowsPath.c_str());
    std::string path = unix ? unix : "";
    HeapFree(GetProcessHeap(), 0, unix);
    return path;
}

std::wstring WideFromAnsi(const std::string& text)
{
    WCHAR wide[MAX_PATH + 1];
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, MAX_PATH + 1);
    return length > 0 ? wide : L"";
}

// One word for sh: in single quotes, each quote inside written as '\''.
std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Environment(const char* name)
{
    char value[MAX_PATH + 1];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) ? value : "";
}

std::wstring WideEnvironment(const wchar_t* name)
{
    WCHAR value[MAX_PATH + 1];
    DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? value : L"";
}

int Fail(const char* text)
{
    fprintf(stderr, "java.exe (demo): %s\n", text);
    return 1;
}

bool WriteScript(const std::string& path, const std::string& text)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == NULL)
        return false;
    fwrite(text.data(), 1, text.size(), file);
    return fclose(file) == 0;
}

int WaitForStatus(const std::string& statusFile)
{
    for (int i = 0; i < 6000; i++) {
        FILE* file = fopen(statusFile.c_str(), "r");
        int status;
        if (file != NULL) {
            bool complete = fscanf(file, "%d", &status) == 1;
            fclose(file);
            if (complete)
                return status;
        }
        Sleep(20);
    }
    return Fail("the JDK did not end within two minutes");
}

}  // namespace

int main(int argc, char** argv)
{
    std::string java = Environment("CARDSETUP_DEMO_JAVA");
    WCHAR directory[MAX_PATH + 1];
    char temp[MAX_PATH + 1];

    if (java.empty())
        return Fail("no JDK was named (CARDSETUP_DEMO_JAVA); this launcher is a stand-in");
    GetCurrentDirectoryW(MAX_PATH + 1, directory);
    GetTempPathA(sizeof(temp), temp);
    std::string base = std::string(temp) + "java-bridge-" + std::to_string(GetCurrentProcessId());
    std::string script = "cd " + Quoted(UnixPath(directory)) + " && " + Quoted(java) + " " +
                         Quoted("-Duser.home=" + UnixPath(WideEnvironment(L"USERPROFILE")));
    for (int i = 1; i < argc; i++)
        script += " " + Quoted(argv[i]);
    script += "\necho $? > " + Quoted(UnixPath(WideFromAnsi(base + ".status"))) + "\n";
    if (!WriteScript(base + ".sh", script))
        return Fail("cannot write its script in the temporary directory");

    std::string commandLine = "sh \"" + UnixPath(WideFromAnsi(base + ".sh")) + "\"";
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    if (!CreateProcessA("Z:\\bin\\sh", &commandLine[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                        &process))
        return Fail("Wine could not start /bin/sh");
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    int status = WaitForStatus(base + ".status");
    DeleteFileA((base + ".sh").c_str());
    DeleteFileA((base + ".status").c_str());
    return status;
}
