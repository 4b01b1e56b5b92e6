// Bounded text helpers and the path join: what fits is written whole, what does not fit is
// cut (texts) or refused (paths), and nothing is ever written past the capacity.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "deploy/path_join.h"
#include "deploy/text.h"

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
    EXPECT_EQ(0, FormatText(buffer, 5, "%s", "abcdefgh"));
    EXPECT_STREQ("abcd", buffer);
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

    EXPECT_EQ(1, DirectoryPathOf(GetWindowsDirectoryA, path, sizeof(path), "java\\lib"));
    EXPECT_EQ(std::string(windows) + "\\java\\lib", path);
    size_t exact = strlen(windows) + sizeof("\\java\\lib");
    EXPECT_EQ(1, DirectoryPathOf(GetWindowsDirectoryA, path, exact, "java\\lib"));
    EXPECT_EQ(0, DirectoryPathOf(GetWindowsDirectoryA, path, exact - 1, "java\\lib"));
    EXPECT_EQ(0, DirectoryPathOf(GetWindowsDirectoryA, path, strlen(windows), "x"))
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
