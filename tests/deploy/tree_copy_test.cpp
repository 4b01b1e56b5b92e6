// The recursive tree copy on real directory trees in the Wine prefix, with patterns relative to
// the current directory as the component steps pass them.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "deploy/path_join.h"
#include "deploy/tree_copy.h"
#include "support/prompt_answerer.h"
#include "support/registry_keys.h"
#include "support/test_files.h"

namespace {

class TreeCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        WarmUpMessageBoxes();  // before a test's own answerer, which would count it
        ASSERT_TRUE(MakeDirectory(media / "ocf"));
        ASSERT_TRUE(MakeDirectory(target));
        memset(failed, 'j', sizeof(failed) - 1);
        failed[sizeof(failed) - 1] = '\0';
    }

    void AddFile(const std::string& relative, const std::string& content = "class")
    {
        ASSERT_TRUE(WriteTextFile(media / relative, content)) << relative;
    }

    void AddDirectory(const std::string& relative)
    {
        ASSERT_TRUE(MakeDirectory(media / relative)) << relative;
    }

    // Copies from the media directory; every listing and file must be closed again.
    CopyResult Copy(const char* pattern, int recurse = 1)
    {
        ScopedCurrentDirectory inMedia(media.Path());
        DWORD handlesBefore = OpenHandleCount();
        CopyResult result = CopyTree(pattern, target.c_str(), recurse, failed);
        EXPECT_EQ(handlesBefore, OpenHandleCount()) << "a listing or file was left open";
        return result;
    }

    TempDir media{"media"};
    TempDir destination{"dest"};
    std::string target = destination / "lib";
    char failed[kPathCapacity];
};

}  // namespace

TEST_F(TreeCopy, CopiesTheWholeTreeDepthFirstIntoTheDestination)
{
    PromptAnswerer user;
    AddFile("ocf\\a.class", "A");
    AddDirectory("ocf\\opencard");
    AddFile("ocf\\opencard\\b.class", "B");
    AddDirectory("ocf\\opencard\\core");
    AddFile("ocf\\opencard\\core\\c.class", "C");
    AddDirectory("ocf\\empty");
    SetFileAttributesA((media / "ocf\\a.class").c_str(), FILE_ATTRIBUTE_HIDDEN);

    EXPECT_EQ(CopyDone, Copy("ocf\\*"));
    EXPECT_STREQ("", failed);
    EXPECT_EQ("A", ReadTextFile(target + "\\a.class"));
    EXPECT_EQ("B", ReadTextFile(target + "\\opencard\\b.class"));
    EXPECT_EQ("C", ReadTextFile(target + "\\opencard\\core\\c.class"));
    EXPECT_TRUE(Attributes(target + "\\empty") & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(FileExists(target + "\\ocf"));
    EXPECT_EQ(0u, user.Count());
}

TEST_F(TreeCopy, WithoutRecursionCopiesOnlyTheTopFiles)
{
    AddFile("ocf\\a.class");
    AddDirectory("ocf\\opencard");
    AddFile("ocf\\opencard\\b.class");
    EXPECT_EQ(CopyDone, Copy("ocf\\*", 0));
    EXPECT_TRUE(FileExists(target + "\\a.class"));
    EXPECT_FALSE(FileExists(target + "\\opencard"));
}

TEST_F(TreeCopy, ReusesAnExistingSubdirectoryAndOverwritesItsFiles)
{
    AddDirectory("ocf\\opencard");
    AddFile("ocf\\opencard\\b.class", "new");
    ASSERT_TRUE(MakeDirectory(target + "\\opencard"));
    ASSERT_TRUE(WriteTextFile(target + "\\opencard\\b.class", "old"));
    ASSERT_TRUE(WriteTextFile(target + "\\opencard\\mine.txt", "kept"));
    EXPECT_EQ(CopyDone, Copy("ocf\\*"));
    EXPECT_EQ("new", ReadTextFile(target + "\\opencard\\b.class"));
    EXPECT_EQ("kept", ReadTextFile(target + "\\opencard\\mine.txt"));
}

TEST_F(TreeCopy, AFileInTheWayOfASubdirectoryFailsAtTheFirstFileBelowIt)
{
    AddDirectory("ocf\\opencard");
    AddFile("ocf\\opencard\\b.class");
    ASSERT_TRUE(WriteTextFile(target + "\\opencard", "a file, not a directory"));
    EXPECT_EQ(CopyFailed, Copy("ocf\\*"));
    EXPECT_STREQ("ocf\\opencard\\b.class", failed);
    EXPECT_EQ("a file, not a directory", ReadTextFile(target + "\\opencard"));
}

TEST_F(TreeCopy, ListingFailuresGiveCode2AndNoPath)
{
    AddDirectory("ocf\\sub");
    AddFile("ocf\\sub\\x.class");
    EXPECT_EQ(CopyListFailed, Copy("missing\\*"));
    EXPECT_STREQ("", failed);
    EXPECT_EQ(CopyListFailed, Copy("ocf\\*.none"));
    EXPECT_STREQ("", failed);
    EXPECT_EQ(CopyListFailed, Copy("ocf\\s*"));  // "sub" matches, nothing in it does
    EXPECT_STREQ("", failed);
}

TEST_F(TreeCopy, ASubdirectoryThatCannotBeMadeGivesCode3AndItsPath)
{
    AddDirectory("ocf\\opencard");
    target = destination / "missing";
    EXPECT_EQ(CopyDirFailed, Copy("ocf\\*"));
    EXPECT_EQ(target + "\\opencard", std::string(failed));
}

TEST_F(TreeCopy, AbortStopsTheWholeCopyAtThatFile)
{
    AddFile("ocf\\a.class", "A");
    AddFile("ocf\\b.class", "B");
    ASSERT_TRUE(WriteTextFile(target + "\\a.class", "old a"));
    ASSERT_TRUE(WriteTextFile(target + "\\b.class", "old b"));
    FileHold holdA(target + "\\a.class", GENERIC_READ, FILE_SHARE_READ);
    FileHold holdB(target + "\\b.class", GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user({IDABORT});
    EXPECT_EQ(CopyAborted, Copy("ocf\\*"));
    EXPECT_EQ(1u, user.Count()) << "no entry after the aborted one is copied";
    std::string path(failed);
    EXPECT_TRUE(path == "ocf\\a.class" || path == "ocf\\b.class") << path;
}

TEST_F(TreeCopy, IgnoreCountsAsDoneAndTheCopyGoesOn)
{
    AddFile("ocf\\a.class", "A");
    AddFile("ocf\\b.class", "B");
    AddFile("ocf\\c.class", "C");
    ASSERT_TRUE(WriteTextFile(target + "\\a.class", "old a"));
    FileHold hold(target + "\\a.class", GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user({IDIGNORE});
    EXPECT_EQ(CopyDone, Copy("ocf\\*"));
    EXPECT_EQ(1u, user.Count());
    EXPECT_EQ("old a", ReadTextFile(target + "\\a.class"));
    EXPECT_EQ("B", ReadTextFile(target + "\\b.class"));
    EXPECT_EQ("C", ReadTextFile(target + "\\c.class"));
}

TEST_F(TreeCopy, PathsThatWouldNotFitAreRefusedNotCut)
{
    AddFile("ocf\\a.class");
    std::string longTarget = destination / std::string(258 - destination.Path().size(), 'd');
    ASSERT_EQ(259u, longTarget.size());
    {
        ScopedCurrentDirectory inMedia(media.Path());
        EXPECT_EQ(CopyFailed, CopyTree("ocf\\*", longTarget.c_str(), 1, failed));
    }
    EXPECT_STREQ("ocf\\a.class", failed);

    DeleteFileA((media / "ocf\\a.class").c_str());
    AddDirectory("ocf\\opencard");
    {
        ScopedCurrentDirectory inMedia(media.Path());
        EXPECT_EQ(CopyDirFailed, CopyTree("ocf\\*", longTarget.c_str(), 1, failed));
    }
    EXPECT_EQ(kPathCapacity - 1, strlen(failed));
    EXPECT_EQ(0, strncmp(failed, (longTarget + "\\opencard").c_str(), kPathCapacity - 1));
}
