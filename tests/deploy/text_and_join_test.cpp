// Bounded text helpers and the path join: what fits is written whole, what does not fit is
// cut (texts) or refused (paths), and nothing is ever written past the capacity; the SHA-256 of
// a file.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "deploy/file_hash.h"
#include "deploy/path_join.h"
#include "deploy/text.h"
#include "support/test_files.h"

TEST(CopyText, CopiesWholeTextAndZeroesTheRest)
{
    char buffer[8];
    memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(1, CopyText(buffer, sizeof(buffer), "abc"));
    EXPECT_STREQ("abc", buffer);
    for (size_t i = 3; i < sizeof(buffer); i++)
        EXPECT_EQ('\0', buffer[i]) << i;
}

TEST(CopyText, CutsAtCapacityAndTerminates)
{
    char buffer[6] = "zzzzz";
    char guard[4] = "ggg";
    EXPECT_EQ(0, CopyText(buffer, 4, "abcdef"));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ('z', buffer[4]);
    EXPECT_STREQ("ggg", guard);
    EXPECT_EQ(0, CopyText(buffer, 3, "abc"));
    EXPECT_STREQ("ab", buffer);
}

TEST(CopyText, NullBufferOrZeroCapacityWritesNothing)
{
    char buffer[4] = "abc";
    EXPECT_EQ(0, CopyText(NULL, 10, "text"));
    EXPECT_EQ(0, CopyText(buffer, 0, "text"));
    EXPECT_STREQ("abc", buffer);
}

TEST(FormatText, FormatsCutsAndHandlesNoBuffer)
{
    char buffer[16];
    EXPECT_EQ(1, FormatText(buffer, sizeof(buffer), "kod #%d: %s", 3, "x"));
    EXPECT_STREQ("kod #3: x", buffer);
    EXPECT_EQ(1, FormatText(buffer, sizeof(buffer), "%I64u", 5000000000ULL));
    EXPECT_STREQ("5000000000", buffer);
    memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(0, FormatText(buffer, 5, "%s", "abcdefgh"));
    EXPECT_STREQ("abcd", buffer);
    EXPECT_EQ('#', buffer[5]) << "written past the capacity";
    EXPECT_EQ(0, FormatText(NULL, 5, "%d", 1));
    buffer[0] = 'q';
    EXPECT_EQ(0, FormatText(buffer, 0, "%d", 1));
    EXPECT_EQ('q', buffer[0]);
}

TEST(FormatText, StoresPolishTextsInCodePage1250)
{
    char buffer[8];
    CopyText(buffer, sizeof(buffer), "BŁĄD");
    EXPECT_EQ(std::string("\x42\xA3\xA5\x44", 4), std::string(buffer));
}

struct JoinCase {
    const char* path;
    const char* component;
    const char* joined;
};

TEST(AppendPathComponent, JoinsAsTheTableSays)
{
    const JoinCase cases[] = {
        {"C:\\WINDOWS", "java\\lib", "C:\\WINDOWS\\java\\lib"},
        {"C:\\", "ocf1.2.jar", "C:\\ocf1.2.jar"},
        {"C:\\WINDOWS/", "x", "C:\\WINDOWS/\\x"},
        {"ocf\\", "sub", "ocf\\sub"},
        {"dir", "\\lead", "dir\\\\lead"},
        {"dir", "..", "dir\\.."},
        {"dir", "*", "dir\\*"},
        {"", "name", "name"},
    };
    for (const JoinCase& c : cases) {
        char path[kPathCapacity];
        CopyText(path, sizeof(path), c.path);
        EXPECT_EQ(1, AppendPathComponent(path, sizeof(path), c.component)) << c.path;
        EXPECT_STREQ(c.joined, path) << c.path << " + " << c.component;
    }
}

// A 261-byte buffer holds 260 characters: what reaches that fits, one more is refused whole.
TEST(AppendPathComponent, BoundsTheJoinByTheBuffer)
{
    const std::string longComponent(300, 'c');
    struct Case {
        size_t pathLength;
        bool endsWithSeparator;
        const char* component;
        bool fits;
    } cases[] = {
        {259, false, "", true},     // 259 + separator = 260
        {259, false, "a", false},   // 261
        {259, true, "a", true},     // 260
        {258, false, "a", true},    // 260
        {260, true, "", true},
        {260, false, "a", false},
        {260, true, "a", false},
        {10, false, longComponent.c_str(), false},
    };
    for (const Case& c : cases) {
        char path[kPathCapacity + 8];
        std::string original(c.pathLength, 'p');
        if (c.endsWithSeparator)
            original.back() = '\\';
        memset(path, '#', sizeof(path));
        memcpy(path, original.c_str(), original.size() + 1);
        int joined = AppendPathComponent(path, kPathCapacity, c.component);
        EXPECT_EQ(c.fits ? 1 : 0, joined) << c.pathLength << " + " << strlen(c.component);
        if (!c.fits)
            EXPECT_EQ(original, std::string(path));
        else
            EXPECT_LE(strlen(path), kPathCapacity - 1);
        for (size_t i = kPathCapacity; i < sizeof(path); i++)
            ASSERT_EQ('#', path[i]) << "written past the buffer at " << i;
    }
}

TEST(AppendPathComponent, NeedsASeparatorOnlyAfterAPathThatLacksOne)
{
    const struct {
        const char* path;
        bool needs;
    } cases[] = {{"", false}, {"C:\\", false}, {"C:\\WINDOWS", true}, {"C:\\WINDOWS/", true}};
    for (const auto& c : cases)
        EXPECT_EQ(c.needs, NeedsSeparator(c.path, strlen(c.path))) << c.path;
}

// The Windows or system directory joined with a name, refused whole when it would not fit.
TEST(DirectoryPathOf, JoinsTheDirectoryWithinTheBuffer)
{
    char windows[kPathCapacity];
    char path[kPathCapacity];
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, sizeof(windows)));

    EXPECT_EQ(1, DirectoryPathOf(GetWindowsDirectoryW, path, sizeof(path), "java\\lib"));
    EXPECT_EQ(std::string(windows) + "\\java\\lib", path);
    size_t exact = strlen(windows) + sizeof("\\java\\lib");
    EXPECT_EQ(1, DirectoryPathOf(GetWindowsDirectoryW, path, exact, "java\\lib"));
    EXPECT_EQ(0, DirectoryPathOf(GetWindowsDirectoryW, path, exact - 1, "java\\lib"));
    EXPECT_EQ(0, DirectoryPathOf(GetWindowsDirectoryW, path, strlen(windows), "x"))
        << "a directory that does not fit its buffer";
}

TEST(CurrentDirectoryPath, GivesTheWholePathOrNothing)
{
    char path[kPathCapacity];
    char exact[kPathCapacity];
    ASSERT_EQ(1, CurrentDirectoryPath(path, sizeof(path)));
    size_t length = strlen(path);
    EXPECT_EQ(1, CurrentDirectoryPath(exact, length + 1));
    EXPECT_STREQ(path, exact);
    memset(exact, 'x', sizeof(exact));
    EXPECT_EQ(0, CurrentDirectoryPath(exact, length));
    EXPECT_EQ('\0', exact[0]) << "a path that does not fit leaves it empty";
}

TEST(AppendPathComponent, RefusesAPathThatIsNotTerminatedWithinTheBuffer)
{
    char path[8];
    memset(path, 'p', sizeof(path));
    EXPECT_EQ(0, AppendPathComponent(path, sizeof(path), "x"));
    EXPECT_EQ(0, memcmp(path, "pppppppp", 8));
}

// ---- Code pages: texts for windows, paths for texts, paths from the system ----------------------

TEST(WideFromText, GivesWindowsThePolishLettersWithinTheCapacity)
{
    wchar_t wide[8];
    wmemset(wide, L'#', 8);
    EXPECT_EQ(1, WideFromText(wide, 5, "BŁĄD"));
    EXPECT_STREQ(L"B\u0141\u0104D", wide);
    EXPECT_EQ(0, WideFromText(wide, 3, "BŁĄD"));
    EXPECT_STREQ(L"B\u0141", wide);
    EXPECT_EQ(L'#', wide[5]) << "written past the capacity";
    EXPECT_EQ(0, WideFromText(NULL, 3, "x"));
}

// A path in the ANSI code page shown in a report: its letters in code page 1250, "?" for each
// that has no form there. Each path is tried where this process's code page can hold it.
TEST(TextFromPath, ShowsAPathsLettersInTheReportsCodePage)
{
    const struct {
        const wchar_t* path;
        const char* shown;
    } cases[] = {
        {L"C:\\media\\sun", "C:\\media\\sun"},
        {L"C:\\Za\u017c\u00f3\u0142\u0107", "C:\\Zażółć"},
        {L"C:\\\u00d1and\u00fa", "C:\\?andú"},
    };
    int tried = 0;
    for (const auto& c : cases) {
        char path[kPathCapacity];
        char shown[kPathCapacity + 4];
        if (!PathFromWide(path, sizeof(path), c.path))
            continue;
        tried++;
        memset(shown, '#', sizeof(shown));
        EXPECT_EQ(1, TextFromPath(shown, kPathCapacity, path));
        EXPECT_STREQ(c.shown, shown);
        EXPECT_EQ(0, TextFromPath(shown, 5, path));
        EXPECT_EQ(std::string(c.shown).substr(0, 4), shown);
        EXPECT_EQ('#', shown[kPathCapacity]) << "written past the capacity";
    }
    EXPECT_EQ(2, tried) << "the code pages 1250 and 1252 each hold two of the paths";
}

// A path from the system reaches the installer only as it is: where the ANSI code page lacks a
// letter, no best-fit neighbour stands in for it.
TEST(PathFromWide, ConvertsExactlyOrNotAtAll)
{
    char path[16];
    memset(path, '#', sizeof(path));
    EXPECT_EQ(1, PathFromWide(path, 9, L"C:\\media"));
    EXPECT_STREQ("C:\\media", path);
    EXPECT_EQ(0, PathFromWide(path, 8, L"C:\\media"));
    EXPECT_EQ('\0', path[0]);
    EXPECT_EQ('#', path[9]);
    for (const wchar_t* name : {kNameWithLookAlike, kNameWithoutLookAlike}) {
        memset(path, '#', sizeof(path));
        EXPECT_EQ(0, PathFromWide(path, sizeof(path), name));
        EXPECT_EQ('\0', path[0]);
    }

    TempDir downloads("downloads");
    for (const wchar_t* name : {kNameWithLookAlike, kNameWithoutLookAlike}) {
        std::wstring folder = Wide(downloads.Path()) + L"\\" + name;
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
        ScopedCurrentDirectory inside(folder);
        char current[kPathCapacity];
        memset(current, '#', sizeof(current));
        EXPECT_EQ(0, CurrentDirectoryPath(current, sizeof(current))) << current;
        EXPECT_EQ('\0', current[0]);
    }
}

// Known digests (FIPS 180-2's examples among them), across the hash's block boundary and the
// file's read blocks; a file that cannot be read, or a buffer too small, gives no digest.
TEST(HashFile, GivesTheSha256OfTheWholeFileOrNothing)
{
    TempDir dir("hash");
    std::string file = dir / "file";
    const struct {
        std::string contents;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    char text[kSha256TextSize];
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteTextFile(file, c.contents));
        EXPECT_TRUE(HashFile(file.c_str(), text, sizeof(text)));
        EXPECT_STREQ(c.digest, text) << c.contents.size() << " bytes";
    }
    EXPECT_FALSE(HashFile(file.c_str(), text, sizeof(text) - 1));
    EXPECT_STREQ("", text);
    EXPECT_FALSE(HashFile((dir / "missing").c_str(), text, sizeof(text)));
    EXPECT_STREQ("", text);
}
