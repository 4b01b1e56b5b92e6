// File-system helpers for the tests: temporary directory trees in the Wine prefix, file contents
// and times, files held open the way another program would hold them, the current directory.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

bool RunningUnderWine();
// Whether this Wine refuses to overwrite a read-only file, as Windows does. Run as root, Wine
// overwrites it; tools/test started as root runs the tests as an unprivileged user.
bool ReadOnlyIsEnforced();

// A fresh directory under the temporary directory, removed with everything in it at the end.
class TempDir {
public:
    explicit TempDir(const char* tag);
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Calls visit with the name of each entry of directory ("." and ".." left out) and whether it
// is a directory; a directory that cannot be listed has none.
void ForEachEntry(const std::string& directory,
                  const std::function<void(const std::string& name, bool isDirectory)>& visit);
void RemoveTree(const std::string& path);
// Every file below directory with its content, by path.
typedef std::map<std::string, std::string> FileContents;
void ReadTree(const std::string& directory, FileContents* files);
bool MakeDirectory(const std::string& path);
// A symbolic link at link to target, which need not exist. Under Wine a Unix link, which Wine
// follows as Windows follows its own; on Windows its own link (administrators may make them).
bool MakeSymbolicLink(const std::string& link, const std::string& target);
// Removes a link itself, to a file or to a folder, never what it names.
bool RemoveSymbolicLink(const std::string& link);
bool WriteTextFile(const std::string& path, const std::string& content);
std::string ReadTextFile(const std::string& path);
bool FileExists(const std::string& path);
DWORD Attributes(const std::string& path);
// A file's owner, group and DACL as SDDL ("" when unreadable), and setting them from SDDL.
std::string Security(const std::string& path);
bool SetSecurity(const std::string& path, const std::string& sddl);
bool SetWriteTimeUtc(const std::string& path, WORD year, WORD month, WORD day, WORD hour,
                     WORD minute, WORD second);
bool SetFileSize(const std::string& path, unsigned long long size);
std::string CurrentDirectory();
std::string ProgramDirectory();  // where the test program and the doubles are built
std::string SystemDirectory();
std::string WindowsDirectory();
bool SamePath(const std::string& a, const std::string& b);  // as Windows compares them
// The file's lines without their line ends (LF or CR LF).
std::vector<std::string> ReadLines(const std::string& path);

// A Java home as the registry names one: bin\java.exe (a copy of launcher, a program built beside
// the tests), lib\ext and lib\security (below jre for a development kit), and the home's own
// java.policy holding ownPolicy unless that is empty. Returns whether everything was made.
struct JavaHomeLayout {
    const char* launcher = "java_double.exe";
    bool kit = false;
    bool securityDirectory = true;
    std::string ownPolicy;
};
bool MakeJavaHome(const std::string& home, const JavaHomeLayout& layout);

// Holds a file open with the given access and sharing until destroyed.
class FileHold {
public:
    FileHold(const std::string& path, DWORD access, DWORD share);
    ~FileHold() { Release(); }
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release();

private:
    HANDLE handle_;
};

// ---- Folders named in any language ----------------------------------------------------------
// The tests build their trees with ANSI names, then move a tree to a name that the ANSI code
// page of this process cannot hold, as a user's downloads folder may be named.

// Names the ANSI code pages 1250 and 1252 cannot hold: the first has a best-fit neighbour in
// both ("Łódź Nandú", "Lódz Ñandú"), the second has none.
extern const wchar_t kNameWithLookAlike[];
extern const wchar_t kNameWithoutLookAlike[];

// Text in a code page (the ANSI one unless named) as Unicode.
std::wstring Wide(const std::string& text, UINT codePage = CP_ACP);
// The ANSI form the system would give of a Unicode path: each letter the code page lacks taken
// by its best-fit neighbour. Empty when a letter has none (it would read "?").
std::string LookAlike(const std::wstring& path);
// A Unicode path in UTF-8, as the doubles log what the system gives them in Unicode.
std::string Utf8(const std::wstring& text);
bool ExistsWide(const std::wstring& path);
// Unicode text, as a window holds it, in code page 1250, as the installer's texts are written:
// the tests compare the two the same whatever the ANSI code page of this process.
std::string Cp1250(const std::wstring& text);

// Makes the look-alike of a media folder, where the system's ANSI form of its name leads: a sun
// directory and a Drivers\twin64.bat that leaves "ran-twin64.txt" beside it. Gives its path, or
// "" when the name has no look-alike (or it could not be made).
std::string MakeLookAlikeMedia(const std::wstring& folder);

// Moves a file or directory to another name and moves it back when destroyed.
class MovedTo {
public:
    MovedTo(const std::string& from, const std::wstring& to);
    ~MovedTo();
    bool Moved() const { return moved_; }

private:
    std::wstring from_;
    std::wstring to_;
    bool moved_;
};

// Enters a directory and goes back to where it was when destroyed.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::string& path);
    explicit ScopedCurrentDirectory(const std::wstring& path);
    ~ScopedCurrentDirectory();

private:
    std::wstring previous_;
};
