// File-system helpers for the tests, written against the real Win32 API of the test prefix.
#include "test_files.h"

#include <sddl.h>

#include <vector>

bool RunningUnderWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

bool ReadOnlyIsEnforced()
{
    TempDir probe("probe");
    std::string target = probe / "target";
    WriteTextFile(probe / "source", "s");
    WriteTextFile(target, "t");
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    return !CopyFileA((probe / "source").c_str(), target.c_str(), FALSE);
}

TempDir::TempDir(const char* tag)
{
    static unsigned counter = 0;
    char base[MAX_PATH + 1];
    char name[MAX_PATH + 1];

    GetTempPathA(sizeof(base), base);
    for (;;) {
        snprintf(name, sizeof(name), "%scs-%s-%lu-%u", base, tag, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(name, NULL))
            break;
    }
    path_ = name;
}

static bool RunUnixCommand(const std::string& command, const std::string& mark);
static std::string ShellQuoted(const std::string& path);

// Under Wine the links a test made are left to the Unix side, which Wine cannot see them all on.
TempDir::~TempDir()
{
    RemoveTree(path_);
    if (FileExists(path_) && RunningUnderWine())
        RunUnixCommand("rm -rf " + ShellQuoted(path_), path_ + ".gone");
}

void ForEachEntry(const std::string& directory,
                  const std::function<void(const std::string& name, bool isDirectory)>& visit)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((directory + "\\*").c_str(), &entry);

    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..")
            visit(name, (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

static std::string Narrow(UINT codePage, const std::wstring& text, BOOL* inexact);

// In Unicode, so that names the ANSI code page cannot hold go too.
static void RemoveTreeWide(const std::wstring& path)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);

    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            std::wstring child = path + L"\\" + name;
            if (name == L"." || name == L"..")
                continue;
            // A link goes itself, never what it names.
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                RemoveSymbolicLink(Narrow(CP_ACP, child, NULL));
                continue;
            }
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTreeWide(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

void RemoveTree(const std::string& path)
{
    RemoveTreeWide(Wide(path));
}

void ReadTree(const std::string& directory, FileContents* files)
{
    ForEachEntry(directory, [&](const std::string& name, bool isDirectory) {
        std::string path = directory + "\\" + name;
        if (isDirectory)
            ReadTree(path, files);
        else
            (*files)[path] = ReadTextFile(path);
    });
}

bool MakeJavaHome(const std::string& home, const JavaHomeLayout& layout)
{
    std::string lib = layout.kit ? home + "\\jre\\lib" : home + "\\lib";
    bool made = MakeDirectory(home) && MakeDirectory(home + "\\bin") &&
                CopyFileA((ProgramDirectory() + "\\" + layout.launcher).c_str(),
                          (home + "\\bin\\java.exe").c_str(), FALSE);

    if (layout.kit)
        made = made && MakeDirectory(home + "\\jre");
    made = made && MakeDirectory(lib) && MakeDirectory(lib + "\\ext");
    if (layout.securityDirectory)
        made = made && MakeDirectory(lib + "\\security");
    if (layout.securityDirectory && !layout.ownPolicy.empty())
        made = made && WriteTextFile(lib + "\\security\\java.policy", layout.ownPolicy);
    return made;
}

typedef char*(CDECL* UnixFileNameFunction)(const WCHAR* dosName);

static std::string UnixPath(const std::string& path)
{
    UnixFileNameFunction toUnix = (UnixFileNameFunction)(void*)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    char* unix = toUnix != NULL ? toUnix(Wide(path).c_str()) : NULL;
    std::string unixPath = unix != NULL ? unix : "";
    HeapFree(GetProcessHeap(), 0, unix);
    return unixPath;
}

// A path for the shell, within single quotes (one inside is closed, escaped and reopened).
static std::string ShellQuoted(const std::string& path)
{
    std::string unixPath = UnixPath(path);
    std::string quoted = "'";
    for (char letter : unixPath)
        quoted += letter == '\'' ? std::string("'\\''") : std::string(1, letter);
    return quoted + "'";
}

// Runs a shell command on the Unix side. Wine does not tell when a Unix program ends, so the
// command leaves a mark once it has succeeded, and that is awaited.
static bool RunUnixCommand(const std::string& command, const std::string& mark)
{
    std::string line = "sh -c \"" + command + " && : > " + ShellQuoted(mark) + "\"";
    STARTUPINFOA startup = {};
    PROCESS_INFORMATION process;
    bool done = false;

    startup.cb = sizeof(startup);
    if (UnixPath(mark).empty() ||
        !CreateProcessA("Z:\\bin\\sh", &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 500 && !done; i++) {
        done = FileExists(mark);
        Sleep(done ? 0 : 20);
    }
    DeleteFileA(mark.c_str());
    return done;
}

// Wine 8 makes no Windows links, and deletes no Unix link: ln and rm do it.
static bool MakeUnixLink(const std::string& link, const std::string& target)
{
    return RunUnixCommand("ln -s " + ShellQuoted(target) + " " + ShellQuoted(link), link + ".made");
}

// Wine 8 reports a Unix link to a file deleted and keeps it, and lists no link to nothing.
bool RemoveSymbolicLink(const std::string& link)
{
    if (!RunningUnderWine())
        return RemoveDirectoryA(link.c_str()) || DeleteFileA(link.c_str());
    return RunUnixCommand("test -L " + ShellQuoted(link) + " && rm " + ShellQuoted(link),
                          link + ".gone");
}

bool MakeSymbolicLink(const std::string& link, const std::string& target)
{
    if (RunningUnderWine())
        return MakeUnixLink(link, target);
    return CreateSymbolicLinkA(link.c_str(), target.c_str(),
                               GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY
                                   ? SYMBOLIC_LINK_FLAG_DIRECTORY
                                   : 0) != 0;
}

bool MakeDirectory(const std::string& path)
{
    return CreateDirectoryA(path.c_str(), NULL) != 0;
}

bool WriteTextFile(const std::string& path, const std::string& content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    bool ok;

    if (file == INVALID_HANDLE_VALUE)
        return false;
    ok = WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL) &&
         written == content.size();
    CloseHandle(file);
    return ok;
}

std::string ReadTextFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    std::vector<char> buffer(1 << 16);
    DWORD got = 0;
    std::string content;

    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    while (ReadFile(file, buffer.data(), (DWORD)buffer.size(), &got, NULL) && got > 0)
        content.append(buffer.data(), got);
    CloseHandle(file);
    return content;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD Attributes(const std::string& path)
{
    return GetFileAttributesA(path.c_str());
}

static const SECURITY_INFORMATION kSecurityParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

std::string Security(const std::string& path)
{
    DWORD needed = 0;
    GetFileSecurityA(path.c_str(), kSecurityParts, NULL, 0, &needed);
    std::vector<BYTE> descriptor(needed + 1);
    char* sddl = NULL;
    if (needed == 0 || !GetFileSecurityA(path.c_str(), kSecurityParts, descriptor.data(), needed,
                                         &needed) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor.data(), SDDL_REVISION_1,
                                                              kSecurityParts, &sddl, NULL))
        return "";
    std::string text = sddl;
    LocalFree(sddl);
    return text;
}

bool SetSecurity(const std::string& path, const std::string& sddl)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, NULL))
        return false;
    bool set = SetFileSecurityA(path.c_str(), kSecurityParts, descriptor) != FALSE;
    LocalFree(descriptor);
    return set;
}

bool SetWriteTimeUtc(const std::string& path, WORD year, WORD month, WORD day, WORD hour,
                     WORD minute, WORD second)
{
    SYSTEMTIME time = {year, month, 0, day, hour, minute, second, 0};
    FILETIME written;
    HANDLE file;
    bool ok;

    if (!SystemTimeToFileTime(&time, &written))
        return false;
    file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ok = SetFileTime(file, NULL, NULL, &written) != 0;
    CloseHandle(file);
    return ok;
}

bool SetFileSize(const std::string& path, unsigned long long size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    LARGE_INTEGER end;
    bool ok;

    if (file == INVALID_HANDLE_VALUE)
        return false;
    end.QuadPart = (LONGLONG)size;
    ok = SetFilePointerEx(file, end, NULL, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

std::string CurrentDirectory()
{
    char path[MAX_PATH + 1];
    DWORD length = GetCurrentDirectoryA(sizeof(path), path);
    return length > 0 && length < sizeof(path) ? std::string(path) : std::string("<unknown>");
}

FileHold::FileHold(const std::string& path, DWORD access, DWORD share)
    : handle_(CreateFileA(path.c_str(), access, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          NULL))
{
}

void FileHold::Release()
{
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

static std::wstring CurrentDirectoryWide()
{
    wchar_t path[MAX_PATH + 1];
    DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, path);
    return std::wstring(path, length <= MAX_PATH ? length : 0);
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::string& path)
    : ScopedCurrentDirectory(Wide(path))
{
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::wstring& path)
    : previous_(CurrentDirectoryWide())
{
    SetCurrentDirectoryW(path.c_str());
}

ScopedCurrentDirectory::~ScopedCurrentDirectory()
{
    SetCurrentDirectoryW(previous_.c_str());
}

const wchar_t kNameWithLookAlike[] = L"\u0141\u00f3d\u017a \u00d1and\u00fa";
const wchar_t kNameWithoutLookAlike[] = L"\u0417\u0430\u0433\u0440\u0443\u0437\u043a\u0438 \u03a9";

std::wstring Wide(const std::string& text, UINT codePage)
{
    int length = MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), &wide[0], length);
    return wide;
}

static std::string Narrow(UINT codePage, const std::wstring& text, BOOL* inexact)
{
    int length = WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), NULL, 0, NULL,
                                     inexact);
    std::string narrow(length, '\0');
    WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), &narrow[0], length, NULL,
                        inexact);
    return narrow;
}

std::string LookAlike(const std::wstring& path)
{
    BOOL inexact = FALSE;
    std::string ansi = Narrow(CP_ACP, path, &inexact);
    return inexact ? std::string() : ansi;
}

std::string Utf8(const std::wstring& text)
{
    return Narrow(CP_UTF8, text, NULL);
}

std::string Cp1250(const std::wstring& text)
{
    return Narrow(1250, text, NULL);
}

bool ExistsWide(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string MakeLookAlikeMedia(const std::wstring& folder)
{
    std::string lookAlike = LookAlike(folder);
    if (lookAlike.empty() || !MakeDirectory(lookAlike) || !MakeDirectory(lookAlike + "\\sun") ||
        !MakeDirectory(lookAlike + "\\Drivers") ||
        !WriteTextFile(lookAlike + "\\Drivers\\twin64.bat", "@cd > ran-twin64.txt\r\n"))
        return "";
    return lookAlike;
}

MovedTo::MovedTo(const std::string& from, const std::wstring& to)
    : from_(Wide(from)), to_(to), moved_(MoveFileW(from_.c_str(), to_.c_str()) != 0)
{
}

MovedTo::~MovedTo()
{
    if (moved_)
        MoveFileW(to_.c_str(), from_.c_str());
}

std::string ProgramDirectory()
{
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof(path));
    std::string program(path, length < sizeof(path) ? length : 0);
    return program.substr(0, program.rfind('\\'));
}

std::string SystemDirectory()
{
    char directory[MAX_PATH + 1];
    UINT length = GetSystemDirectoryA(directory, sizeof(directory));
    return std::string(directory, length < sizeof(directory) ? length : 0);
}

std::string WindowsDirectory()
{
    char directory[MAX_PATH + 1];
    UINT length = GetWindowsDirectoryA(directory, sizeof(directory));
    return std::string(directory, length < sizeof(directory) ? length : 0);
}

bool SamePath(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::string content = ReadTextFile(path);
    size_t start = 0;
    for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        size_t length = end > start && content[end - 1] == '\r' ? end - start - 1 : end - start;
        lines.push_back(content.substr(start, length));
    }
    return lines;
}
