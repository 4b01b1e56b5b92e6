// The guarded copy against the real file system of the Wine prefix, with the real copy-conflict
// prompt answered from a helper thread. A conflict is made by holding the destination open for
// reading with read sharing, so that the copy fails while both files can still be examined.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "deploy/file_replace.h"
#include "deploy/guarded_copy.h"
#include "deploy/path_join.h"
#include "deploy/pending_renames.h"
#include "deploy/tree_copy.h"
#include "support/prompt_answerer.h"
#include "support/test_files.h"

namespace {

class GuardedCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WriteTextFile(source, "new contents"));
        ASSERT_TRUE(SetWriteTimeUtc(source, 2021, 3, 4, 5, 6, 7));
    }

    // A destination that differs from the source in contents, size and time.
    void MakeDestination(const std::string& content = "old")
    {
        ASSERT_TRUE(WriteTextFile(destination, content));
        ASSERT_TRUE(SetWriteTimeUtc(destination, 1999, 12, 31, 23, 59, 58));
    }

    TempDir dir{"copy"};
    std::string source = dir / "source.txt";
    std::string destination = dir / "destination.txt";
};

std::string ExpectedPrompt(const std::string& source, const char* sourceSize,
                           const char* sourceTime, const std::string& destination,
                           const char* destinationSize, const char* destinationTime)
{
    return std::string("Wykryto problem przy próbie skopiowania pliku do katalogu docelowego.\n"
                       "Podany plik już istnieje.\n\nInformacje o plikach:\n\nŹRÓDŁOWY\nNazwa: ") +
           source + "\nRozmiar: " + sourceSize + "\nData modyfikacji: " + sourceTime +
           "\n\nDOCELOWY\nNazwa: " + destination + "\nRozmiar: " + destinationSize +
           "\nData modyfikacji: " + destinationTime + "\n\n";
}

#define SKIP_UNLESS_READ_ONLY_IS_ENFORCED()                                                    \
    if (!ReadOnlyIsEnforced())                                                                 \
        GTEST_SKIP() << "this Wine runs as root and overwrites read-only files; tools/test " \
                        "runs the case as an unprivileged user"

}  // namespace

TEST_F(GuardedCopy, CopiesToAMissingDestinationAndClearsReadOnly)
{
    PromptAnswerer user;
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    EXPECT_EQ("new contents", ReadTextFile(destination));
    EXPECT_FALSE(Attributes(destination) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(0u, user.Count());
}

TEST_F(GuardedCopy, OverwritesAWritableDestinationSilently)
{
    PromptAnswerer user;
    MakeDestination();
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 1));
    EXPECT_EQ("new contents", ReadTextFile(destination));
    EXPECT_EQ(0u, user.Count());
}

TEST_F(GuardedCopy, PromptNamesBothFilesWithSizesAndUtcTimes)
{
    MakeDestination();
    FileHold other(destination, GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user({IDIGNORE});
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    ASSERT_EQ(1u, user.Count());
    EXPECT_EQ(ExpectedPrompt(source, "12", "2021-03-04, 05:06:07", destination, "3",
                             "1999-12-31, 23:59:58"),
              user.Texts()[0]);
}

TEST_F(GuardedCopy, AbortIgnoreAndEscapeLeaveTheDestinationAsItWas)
{
    MakeDestination();
    FileHold other(destination, GENERIC_READ, FILE_SHARE_READ);
    {
        PromptAnswerer user({IDABORT});
        EXPECT_EQ(CopyAborted, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
        EXPECT_EQ(1u, user.Count());
    }
    {
        PromptAnswerer user({IDIGNORE});
        EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
        EXPECT_EQ(1u, user.Count());
    }
    {
        PromptAnswerer user({IDCANCEL});  // Escape; the file was not copied
        EXPECT_EQ(CopyFailed, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
        EXPECT_EQ(1u, user.Count());
    }
    EXPECT_EQ("old", ReadTextFile(destination));
}

static LRESULT CALLBACK RefuseEveryWindow(int code, WPARAM wParam, LPARAM lParam)
{
    return code == HCBT_CREATEWND ? 1 : CallNextHookEx(NULL, code, wParam, lParam);
}

// A prompt that cannot be shown (no desktop to show it on) decides nothing: not copied.
TEST_F(GuardedCopy, APromptThatCannotBeShownCountsAsNotCopied)
{
    MakeDestination();
    FileHold other(destination, GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user;
    HHOOK refusal = SetWindowsHookExA(WH_CBT, RefuseEveryWindow, NULL, GetCurrentThreadId());
    ASSERT_TRUE(refusal != NULL);
    CopyResult result = CopyFileGuarded(source.c_str(), destination.c_str(), 0);
    UnhookWindowsHookEx(refusal);
    EXPECT_EQ(CopyFailed, result);
    EXPECT_EQ(0u, user.Count());
    EXPECT_EQ("old", ReadTextFile(destination));
}

TEST_F(GuardedCopy, RetryCopiesOnceTheOtherProgramLetsGo)
{
    MakeDestination();
    FileHold other(destination, GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user([&](const std::string&, size_t) {
        other.Release();
        return IDRETRY;
    });
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    EXPECT_EQ(1u, user.Count());
    EXPECT_EQ("new contents", ReadTextFile(destination));
}

// Hidden and system, which Windows' copy refuses as it refuses read-only: Retry takes them off,
// and the file in use stays as it is, prompt after prompt.
TEST_F(GuardedCopy, RetryOnAFileStillInUseAsksAgainAndKeepsTheFile)
{
    const DWORD refused = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    MakeDestination();
    ASSERT_TRUE(SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    FileHold other(destination, GENERIC_READ, FILE_SHARE_READ);
    std::vector<DWORD> seen;
    {
        PromptAnswerer user([&](const std::string&, size_t index) {
            seen.push_back(Attributes(destination));
            return index < 2 ? IDRETRY : IDABORT;
        });
        EXPECT_EQ(CopyAborted, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
        EXPECT_EQ(3u, user.Count());
    }
    EXPECT_EQ("old", ReadTextFile(destination));
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), seen[0] & refused);
    EXPECT_EQ(0u, seen[1] & refused) << "Retry left what makes Windows refuse the copy";
    EXPECT_EQ(0u, seen[2] & refused);
}

// Wine keeps no attribute but read-only, hidden and system, so what stays is checked here.
TEST(AttributesForRetry, TakeOffOnlyWhatMakesWindowsRefuseTheCopy)
{
    const struct {
        DWORD before;
        DWORD after;
    } cases[] = {
        {FILE_ATTRIBUTE_READONLY, 0},
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE},
        {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY,
         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY},
        {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.after, AttributesForRetry(c.before)) << std::hex << c.before;
}

// Time and size alone say "identical" only when asked; the same bytes are in place already and
// are left as they are, in use or not, without a question.
TEST_F(GuardedCopy, AcceptsSameTimeAndSizeOnlyWhenAskedAndTheSameBytesAlways)
{
    ASSERT_TRUE(WriteTextFile(destination, "new contentz"));
    ASSERT_TRUE(SetWriteTimeUtc(destination, 2021, 3, 4, 5, 6, 7));
    {
        FileHold other(destination, GENERIC_READ, FILE_SHARE_READ);
        {
            PromptAnswerer user;
            EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 1));
            EXPECT_EQ(0u, user.Count());
        }
        PromptAnswerer user({IDIGNORE});
        EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
        EXPECT_EQ(1u, user.Count());
    }
    ASSERT_TRUE(CopyFileA(source.c_str(), destination.c_str(), FALSE));
    ASSERT_TRUE(SetWriteTimeUtc(destination, 1999, 12, 31, 23, 59, 58));
    FileHold other(destination, GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user;
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    EXPECT_EQ(0u, user.Count());
}

TEST_F(GuardedCopy, SameSizeOrSameTimeAloneIsNotIdentical)
{
    MakeDestination("same size!!!");
    {
        FileHold other(destination, GENERIC_READ, FILE_SHARE_READ);
        PromptAnswerer user({IDIGNORE});
        EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 1));
        EXPECT_EQ(1u, user.Count());
    }
    MakeDestination("other size");
    ASSERT_TRUE(SetWriteTimeUtc(destination, 2021, 3, 4, 5, 6, 7));
    FileHold other(destination, GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user({IDIGNORE});
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 1));
    EXPECT_EQ(1u, user.Count());
}

TEST_F(GuardedCopy, FailsWithoutPromptWhenTheFilesCannotBeExamined)
{
    PromptAnswerer user;
    std::string missing = dir / "missing.txt";
    EXPECT_EQ(CopyFailed, CopyFileGuarded(missing.c_str(), destination.c_str(), 0));
    MakeDestination();
    EXPECT_EQ(CopyFailed, CopyFileGuarded(missing.c_str(), destination.c_str(), 1));
    std::string noDirectory = dir / "no-such-dir\\file.txt";
    EXPECT_EQ(CopyFailed, CopyFileGuarded(source.c_str(), noDirectory.c_str(), 0));
    {
        FileHold writer(destination, GENERIC_WRITE, 0);
        ASSERT_TRUE(writer.Held());
        EXPECT_EQ(CopyFailed, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    }
    EXPECT_EQ("old", ReadTextFile(destination));
    EXPECT_EQ(0u, user.Count());
}

TEST_F(GuardedCopy, ShowsSizesOfFourGigabytesAndMoreInFull)
{
    ASSERT_TRUE(SetFileSize(source, 5368709125ULL));  // 5 GiB + 5: low 32 bits read 5
    MakeDestination();
    ASSERT_TRUE(SetFileSize(destination, 3221225472ULL));  // 3 GiB: negative as signed 32 bits
    FileHold other(destination, GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user({IDABORT});
    EXPECT_EQ(CopyAborted, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    ASSERT_EQ(1u, user.Count());
    EXPECT_NE(std::string::npos, user.Texts()[0].find("\nRozmiar: 5368709125\n"));
    EXPECT_NE(std::string::npos, user.Texts()[0].find("\nRozmiar: 3221225472\n"));
}

TEST_F(GuardedCopy, ReadOnlyDestinationAsksAndRetryOverwritesIt)
{
    SKIP_UNLESS_READ_ONLY_IS_ENFORCED();
    MakeDestination();
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_READONLY);
    PromptAnswerer user({IDRETRY});
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    EXPECT_EQ(1u, user.Count());
    EXPECT_EQ("new contents", ReadTextFile(destination));
    EXPECT_FALSE(Attributes(destination) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(GuardedCopy, ReadOnlyIdenticalDestinationIsAcceptedAndStaysReadOnly)
{
    SKIP_UNLESS_READ_ONLY_IS_ENFORCED();
    ASSERT_TRUE(WriteTextFile(destination, "new contentz"));
    ASSERT_TRUE(SetWriteTimeUtc(destination, 2021, 3, 4, 5, 6, 7));
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_READONLY);
    {
        PromptAnswerer user;
        EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 1));
        EXPECT_EQ(0u, user.Count());
        EXPECT_TRUE(Attributes(destination) & FILE_ATTRIBUTE_READONLY);
    }
    PromptAnswerer user({IDIGNORE});
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    EXPECT_EQ(1u, user.Count());
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(GuardedCopy, RetryReplacesAHiddenSystemDestination)
{
    MakeDestination();
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    PromptAnswerer user({IDRETRY, IDIGNORE});
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    EXPECT_EQ(1u, user.Count());
    EXPECT_EQ("new contents", ReadTextFile(destination));
}

TEST(ConflictText, ShortensLongNamesButKeepsNumbersAndTheirEnds)
{
    std::string sourceName = "C:\\" + std::string(240, 's') + "\\ocf1.2.jar";
    std::string destinationName = "D:\\" + std::string(240, 'd') + "\\lib\\ext\\ocf1.2.jar";
    ConflictFileFacts source = {sourceName.c_str(), 5368709125ULL, {2021, 3, 0, 4, 5, 6, 7, 0}};
    ConflictFileFacts destination = {destinationName.c_str(), 7, {1999, 12, 0, 31, 23, 59, 58, 0}};
    char text[kConflictTextCapacity + 16];
    memset(text, '#', sizeof(text));

    ComposeConflictText(text, kConflictTextCapacity, &source, &destination);
    std::string shown(text);
    EXPECT_EQ(kConflictTextCapacity - 1, shown.size());
    EXPECT_EQ(0, memcmp(text + kConflictTextCapacity, "################", 16));
    EXPECT_NE(std::string::npos, shown.find("\nNazwa: ...ssss"));
    EXPECT_NE(std::string::npos, shown.find("\nNazwa: ...dddd"));
    EXPECT_NE(std::string::npos, shown.find("ssss\\ocf1.2.jar\nRozmiar: 5368709125\n"
                                            "Data modyfikacji: 2021-03-04, 05:06:07\n"));
    EXPECT_NE(std::string::npos, shown.find("dddd\\lib\\ext\\ocf1.2.jar\nRozmiar: 7\n"
                                            "Data modyfikacji: 1999-12-31, 23:59:58\n\n"));
}

TEST(ConflictText, AShortNameKeepsItsLengthAndTheLongOneGetsTheRest)
{
    std::string longName = std::string(400, 'x') + "END";
    ConflictFileFacts source = {"ocf\\a.class", 1, {2000, 1, 0, 2, 3, 4, 5, 0}};
    ConflictFileFacts destination = {longName.c_str(), 2, {2000, 1, 0, 2, 3, 4, 5, 0}};
    char text[kConflictTextCapacity];

    ComposeConflictText(text, sizeof(text), &source, &destination);
    std::string shown(text);
    EXPECT_EQ(sizeof(text) - 1, shown.size());
    EXPECT_NE(std::string::npos, shown.find("Nazwa: ocf\\a.class\n"));
    EXPECT_NE(std::string::npos, shown.find("xxxEND\nRozmiar: 2\n"));
}

// ---- Never half-written ---------------------------------------------------------------------
// A killed process leaves its writes in the system's cache; a power cut does not. What a power
// cut leaves depends on the order of the calls, so a recorder stands in for the flush and the
// move: the new bytes must be flushed before the one move that puts them in place, and the move
// itself written through.
namespace {

struct FileCall {
    std::string what;   // "flush" or "move"
    LONGLONG size;      // a flushed file's size
    std::string from;   // a move's names and flags
    std::string to;
    DWORD flags;
};

std::vector<FileCall> g_fileCalls;
int g_movesToRefuse = 0;

// A security descriptor given to a file, as SDDL of its owner, group and DACL.
struct SecurityCall {
    std::string file;
    SECURITY_INFORMATION what;
    std::string sddl;
};
std::vector<SecurityCall> g_securityCalls;

BOOL WINAPI RecordSetSecurity(LPCSTR file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR security)
{
    char* sddl = NULL;
    const SECURITY_INFORMATION shown =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    ConvertSecurityDescriptorToStringSecurityDescriptorA(security, SDDL_REVISION_1, shown, &sddl,
                                                         NULL);
    g_securityCalls.push_back({file, what, sddl != NULL ? sddl : ""});
    LocalFree(sddl);
    return SetFileSecurityA(file, what, security);
}

// Wine cannot flush a volume (ERROR_INVALID_FUNCTION); a test may have it answer as Windows does.
bool g_volumesFlush = false;

// Files may be flushed from several threads at once.
std::mutex g_fileCallsLock;

BOOL WINAPI RecordFlush(HANDLE file)
{
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    BOOL flushed = FlushFileBuffers(file) || g_volumesFlush;
    std::lock_guard<std::mutex> hold(g_fileCallsLock);
    g_fileCalls.push_back({flushed ? "flush" : "refused flush", size.QuadPart, "", "", 0});
    return flushed;
}

BOOL WINAPI RecordMove(LPCSTR from, LPCSTR to, DWORD flags)
{
    g_fileCalls.push_back({"move", 0, from, to ? to : "", flags});
    if (g_movesToRefuse > 0 && !(flags & MOVEFILE_DELAY_UNTIL_REBOOT)) {
        g_movesToRefuse--;
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    return MoveFileExA(from, to, flags);
}

std::string NameOf(const std::string& path)
{
    return path.substr(path.rfind('\\') + 1);
}

class DurableReplacement : public GuardedCopy {
protected:
    void SetUp() override
    {
        GuardedCopy::SetUp();
        g_fileCalls.clear();
        g_movesToRefuse = 0;
        g_securityCalls.clear();
        g_volumesFlush = false;
        g_durableFileCalls = {RecordFlush, RecordMove, RecordSetSecurity};
    }
    void TearDown() override
    {
        g_durableFileCalls = {FlushFileBuffers, MoveFileExA, SetFileSecurityA};
    }

    // The flush of the whole new file, then its move to target with the flags.
    void ExpectFlushedThenMoved(const std::string& target, DWORD flags)
    {
        ASSERT_EQ(2u, g_fileCalls.size());
        EXPECT_EQ("flush", g_fileCalls[0].what);
        EXPECT_EQ((LONGLONG)ReadTextFile(source).size(), g_fileCalls[0].size);
        EXPECT_EQ("move", g_fileCalls[1].what);
        EXPECT_TRUE(IsTemporaryName(NameOf(g_fileCalls[1].from).c_str())) << g_fileCalls[1].from;
        EXPECT_EQ(dir.Path(), g_fileCalls[1].from.substr(0, g_fileCalls[1].from.rfind('\\')));
        EXPECT_EQ(target, g_fileCalls[1].to);
        EXPECT_EQ(flags, g_fileCalls[1].flags);
    }
};

}  // namespace

TEST_F(DurableReplacement, ANewFileIsFlushedBesideItsPlaceThenMovedThereWrittenThrough)
{
    MakeDestination();
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    ExpectFlushedThenMoved(destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    EXPECT_EQ("new contents", ReadTextFile(destination));

    g_fileCalls.clear();
    std::string backup = destination + ".ocf-bak";
    EXPECT_EQ((DWORD)ERROR_SUCCESS, PlaceNewCopy(source.c_str(), backup.c_str()));
    ExpectFlushedThenMoved(backup, MOVEFILE_WRITE_THROUGH);
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, PlaceNewCopy(destination.c_str(), backup.c_str()));

    g_fileCalls.clear();
    EXPECT_EQ((DWORD)ERROR_SUCCESS, ReplaceWithBytes(backup.c_str(), "new contents", 12));
    ExpectFlushedThenMoved(backup, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);

    g_fileCalls.clear();
    EXPECT_EQ((DWORD)ERROR_SUCCESS, MoveIntoPlace(backup.c_str(), destination.c_str()));
    ASSERT_EQ(1u, g_fileCalls.size());
    EXPECT_EQ((DWORD)(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), g_fileCalls[0].flags);

    // The renames reach the disk with the volume's journal, flushed once before the report.
    g_fileCalls.clear();
    g_volumesFlush = true;
    FlushWrittenVolumes();
    ASSERT_EQ(1u, g_fileCalls.size()) << "the volume moved onto was not flushed";
    EXPECT_EQ("flush", g_fileCalls[0].what);
    g_fileCalls.clear();
    FlushWrittenVolumes();
    EXPECT_TRUE(g_fileCalls.empty()) << "a volume was flushed with nothing moved onto it since";
}

// A tree's copies are all written and flushed before the first is moved into place: with one
// flush of the volume where Windows allows it, else each copy on its own; once all are in place
// the volume is flushed again, for the renames. Only so many copies are held open at once: past
// them, the volume is flushed once more before the moves, or the copies held before are flushed.
TEST_F(DurableReplacement, ATreesCopiesAreAllFlushedBeforeTheFirstMove)
{
    std::string tree = dir / "tree";
    std::string copy = dir / "copy";
    ASSERT_TRUE(MakeDirectory(tree) && MakeDirectory(tree + "\\sub") && MakeDirectory(copy));
    ASSERT_TRUE(WriteTextFile(tree + "\\a", "1") && WriteTextFile(tree + "\\b", "22") &&
                WriteTextFile(tree + "\\sub\\c", "333"));
    for (size_t more : {0, 200}) {
        for (size_t i = 0; i < more; i++)
            ASSERT_TRUE(WriteTextFile(tree + "\\sub\\m" + std::to_string(i), "4444"));
        for (bool volumesFlush : {false, true}) {
            g_volumesFlush = volumesFlush;
            g_fileCalls.clear();
            EXPECT_EQ(CopyDone, CopyTree((tree + "\\*").c_str(), copy.c_str(), 1, NULL));
            EXPECT_EQ("333", ReadTextFile(copy + "\\sub\\c"));
            std::vector<std::string> order;
            std::vector<LONGLONG> fileFlushes;
            for (const FileCall& call : g_fileCalls) {
                if (order.empty() || order.back() != call.what)
                    order.push_back(call.what);
                if (order.size() == 1 || (order.size() == 2 && order[0] == "refused flush"))
                    fileFlushes.push_back(call.size);
            }
            if (volumesFlush) {
                EXPECT_EQ((std::vector<std::string>{"flush", "move", "flush"}), order);
                EXPECT_EQ(more == 0 ? 1u : 2u, fileFlushes.size()) << "files flushed one by one";
            } else {
                EXPECT_EQ((std::vector<std::string>{"refused flush", "flush", "move",
                                                    "refused flush"}),
                          order);
                std::sort(fileFlushes.begin(), fileFlushes.end());
                std::vector<LONGLONG> sizes = {0, 1, 2, 3};
                sizes.insert(sizes.end(), more, 4);
                EXPECT_EQ(sizes, fileFlushes);
            }
            RemoveTree(copy);
            ASSERT_TRUE(MakeDirectory(copy));
        }
    }
}

// In a run that decides, two files in use in one folder of a tree both wait for the restart: the
// second one's copy, written anew after its first try, clears the folder's leftovers without
// taking the first one's waiting copy for one.
TEST_F(DurableReplacement, TwoFilesInUseInOneFolderOfATreeBothWaitForTheRestart)
{
    std::string tree = dir / "tree";
    std::string copy = dir / "copy";
    ASSERT_TRUE(MakeDirectory(tree) && MakeDirectory(copy));
    for (const char* name : {"\\a", "\\b"})
        ASSERT_TRUE(WriteTextFile(tree + name, "new") && WriteTextFile(copy + name, "old"));
    g_decideConflict = [](const char*, const char*, int pass, FileRefusal) {
        return pass == 1 ? IDRETRY : kReplaceAtRestart;
    };
    {
        FileHold a(copy + "\\a", GENERIC_READ, FILE_SHARE_READ);
        FileHold b(copy + "\\b", GENERIC_READ, FILE_SHARE_READ);
        EXPECT_EQ(CopyDone, CopyTree((tree + "\\*").c_str(), copy.c_str(), 1, NULL));
    }
    g_decideConflict = NULL;
    std::vector<std::string> waiting;
    for (const FileCall& call : g_fileCalls) {
        if (call.what == "move" && (call.flags & MOVEFILE_DELAY_UNTIL_REBOOT))
            waiting.push_back(call.from);
    }
    ASSERT_EQ(2u, waiting.size());
    for (const std::string& file : waiting) {
        EXPECT_EQ("new", ReadTextFile(file)) << "a waiting copy was removed as a leftover";
        EXPECT_TRUE(IsPendingSource(file.c_str()));
    }
    for (const char* name : {"\\a", "\\b"})
        EXPECT_TRUE(CancelPendingChanges((copy + name).c_str()));
}

// A virus scanner holds a new file for a moment: the move is tried again before anyone is asked.
TEST_F(DurableReplacement, AMoveRefusedForAMomentIsTriedAgainWithoutAPrompt)
{
    MakeDestination();
    g_movesToRefuse = 2;
    PromptAnswerer user;
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    EXPECT_EQ(0u, user.Count());
    EXPECT_EQ("new contents", ReadTextFile(destination));
    size_t temporaries = 0;
    ForEachEntry(dir.Path(), [&](const std::string& name, bool) {
        temporaries += IsTemporaryName(name.c_str());
    });
    EXPECT_EQ(0u, temporaries);
}

TEST_F(DurableReplacement, TheSameBytesAreNotWrittenAgain)
{
    ASSERT_TRUE(CopyFileA(source.c_str(), destination.c_str(), FALSE));
    bool changed = true;
    EXPECT_EQ((DWORD)ERROR_SUCCESS, ReplaceWithCopy(source.c_str(), destination.c_str(), &changed));
    EXPECT_FALSE(changed);
    EXPECT_TRUE(g_fileCalls.empty());
}

// A file in use gets its replacement at the restart: whole and flushed beside it first, where
// later copies into the same directory leave it, as it waits in Windows' pending renames. A later
// replacement takes the waiting one back: its entry and its file go, other entries stay.
TEST_F(DurableReplacement, AReplacementAtTheRestartWaitsBesideItUntilALaterRunTakesItBack)
{
    MakeDestination();
    std::string other = dir / "other program's file";
    ASSERT_TRUE(WriteTextFile(other, "other"));
    ASSERT_TRUE(MoveFileExA(other.c_str(), NULL, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ((DWORD)ERROR_SUCCESS, ReplaceAtRestart(source.c_str(), destination.c_str()));
    ExpectFlushedThenMoved(destination, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
    std::string waiting = g_fileCalls[1].from;
    EXPECT_EQ("new contents", ReadTextFile(waiting));
    EXPECT_EQ("old", ReadTextFile(destination));
    EXPECT_TRUE(IsPendingSource(waiting.c_str()));
    EXPECT_TRUE(HasPendingChange(destination.c_str()));

    std::string leftover = dir / "~ocf00002000.tmp";  // a killed run's, whatever its digits
    ASSERT_TRUE(WriteTextFile(leftover, "half"));
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), (dir / "another").c_str(), 0));
    EXPECT_TRUE(FileExists(waiting)) << "a copy waiting for the restart was removed";
    EXPECT_FALSE(FileExists(leftover)) << "a leftover was taken for a waiting copy";

    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    EXPECT_EQ("new contents", ReadTextFile(destination));
    EXPECT_FALSE(HasPendingChange(destination.c_str()));
    EXPECT_FALSE(FileExists(waiting)) << "the waiting copy outlived its entry";
    EXPECT_TRUE(HasPendingChange(other.c_str())) << "another program's entry was taken back";

    g_fileCalls.clear();
    EXPECT_EQ((DWORD)ERROR_SUCCESS, MoveAtRestart(NULL, destination.c_str()));
    ASSERT_EQ(1u, g_fileCalls.size());
    EXPECT_EQ(destination, g_fileCalls[0].from);
    EXPECT_EQ("", g_fileCalls[0].to);
    EXPECT_EQ((DWORD)MOVEFILE_DELAY_UNTIL_REBOOT, g_fileCalls[0].flags);
    EXPECT_TRUE(HasPendingChange(destination.c_str()));
    EXPECT_TRUE(CancelPendingChanges(destination.c_str()));
    EXPECT_FALSE(HasPendingChange(destination.c_str()));
    EXPECT_TRUE(CancelPendingChanges(other.c_str()));
    EXPECT_FALSE(CancelPendingChanges(other.c_str())) << "nothing waited, yet one was taken back";
}

// Replacing a file keeps what protects it, as CopyFile over it did: its owner, its DACL with the
// DACL's protection, and its label go onto the new file before it is moved there. A backup keeps
// the original's, so that putting it back restores them; a file new to its place keeps what its
// folder gives it.
TEST_F(DurableReplacement, AReplacementAndABackupAreGivenTheOriginalsSecurityBeforeTheMove)
{
    const SECURITY_INFORMATION kept = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                      DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION;
    MakeDestination();
    std::string original = Security(destination);
    ASSERT_NE("", original);
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    ASSERT_EQ(1u, g_securityCalls.size());
    ExpectFlushedThenMoved(destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    EXPECT_EQ(g_fileCalls[1].from, g_securityCalls[0].file) << "not the file moved into place";
    EXPECT_EQ(kept, g_securityCalls[0].what);
    EXPECT_EQ(original, g_securityCalls[0].sddl);

    g_fileCalls.clear();
    g_securityCalls.clear();
    std::string backup = destination + ".ocf-bak";
    ASSERT_TRUE(SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ((DWORD)ERROR_SUCCESS, PlaceNewCopy(destination.c_str(), backup.c_str()));
    ASSERT_EQ(1u, g_securityCalls.size());
    EXPECT_EQ(g_fileCalls[1].from, g_securityCalls[0].file);
    EXPECT_EQ(Security(destination), g_securityCalls[0].sddl);
    EXPECT_FALSE(Attributes(backup) & FILE_ATTRIBUTE_READONLY) << "a copy came out read-only";
    SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL);

    g_securityCalls.clear();
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), (dir / "new").c_str(), 0));
    EXPECT_TRUE(g_securityCalls.empty()) << "a new file was given another file's security";
}

// The same on the file system itself, where it keeps what is set.
TEST_F(GuardedCopy, WindowsOnly_AReplacedFileAndABackupKeepTheOriginalsSecurity)
{
    const char* kOwnAcl = "O:BAG:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)";
    MakeDestination();
    ASSERT_TRUE(SetSecurity(destination, kOwnAcl));
    std::string original = Security(destination);
    if (original != kOwnAcl)
        GTEST_SKIP() << "Wine 8 keeps no security descriptor of a file: it answers its own "
                        "default whatever was set (" << original << ")";
    std::string backup = destination + ".ocf-bak";
    ASSERT_EQ((DWORD)ERROR_SUCCESS, PlaceNewCopy(destination.c_str(), backup.c_str()));
    EXPECT_EQ(original, Security(backup));
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    EXPECT_EQ("new contents", ReadTextFile(destination));
    EXPECT_EQ(original, Security(destination));
    ASSERT_TRUE(WriteTextFile(dir / "fresh", "fresh"));
    EXPECT_NE(original, Security(dir / "fresh")) << "a new file looks like the original";
}

// A file whose permissions forbid writing it is refused before anything is written, as CopyFile
// refuses it, and a run that decides is told it is protected; one that another program holds,
// even without any sharing, is in use. Windows alone enforces the permissions: they are given
// here as the error Windows answers.
TEST_F(GuardedCopy, TheDecisionIsToldAProtectedFileFromOneInUse)
{
    static FileRefusal told;
    DWORD (*realOpenForChange)(const char*) = g_openForChange;
    MakeDestination();
    g_decideConflict = [](const char*, const char*, int, FileRefusal refusal) {
        told = refusal;
        return (int)IDIGNORE;
    };
    g_openForChange = [](const char*) { return (DWORD)ERROR_ACCESS_DENIED; };
    told = RefusalOther;
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    g_openForChange = realOpenForChange;
    EXPECT_EQ(RefusalProtected, told);
    EXPECT_EQ("old", ReadTextFile(destination));
    size_t temporaries = 0;
    ForEachEntry(dir.Path(), [&](const std::string& name, bool) {
        temporaries += IsTemporaryName(name.c_str());
    });
    EXPECT_EQ(0u, temporaries) << "a copy was written for a file that may not be replaced";
    {
        FileHold holder(destination, GENERIC_READ, 0);
        ASSERT_TRUE(holder.Held());
        told = RefusalOther;
        EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
        EXPECT_EQ(RefusalInUse, told);
    }
    EXPECT_EQ("old", ReadTextFile(destination));
    g_decideConflict = NULL;
}

// What cannot be read cannot be compared: nothing is said of it either way.
TEST_F(GuardedCopy, AFileThatCannotBeReadIsNeitherTheSameNorAnother)
{
    MakeDestination();
    EXPECT_EQ(ContentDifferent, CompareFileContent(source.c_str(), destination.c_str()));
    EXPECT_EQ(ContentSame, CompareFileContent(source.c_str(), source.c_str()));
    EXPECT_EQ(ContentUnreadable, CompareFileContent(source.c_str(), (dir / "missing").c_str()));
    FileHold holder(destination, GENERIC_READ, 0);
    ASSERT_TRUE(holder.Held());
    EXPECT_EQ(ContentUnreadable, CompareFileContent(source.c_str(), destination.c_str()));
}

// Files are compared a block (64 KiB) at a time, to their last byte: a copy that differs only
// further on, or is longer or shorter past a block's end, is another file. An install replaces
// it; it is never taken as already in place.
TEST_F(GuardedCopy, FilesOfMoreThanOneBlockAreComparedToTheirLastByte)
{
    const size_t block = 64 * 1024;
    std::string whole(3 * block + 100, '\0');
    for (size_t i = 0; i < whole.size(); i++)
        whole[i] = (char)('a' + i % 23);
    std::string changedLater = whole;
    changedLater[block + 10] ^= 1;
    std::string changedLast = whole;
    changedLast.back() ^= 1;
    const struct {
        const char* what;
        std::string first;
        std::string second;
        ContentComparison result;
    } cases[] = {
        {"equal", whole, whole, ContentSame},
        {"one block each, equal", whole.substr(0, block), whole.substr(0, block), ContentSame},
        {"a byte of the second block", whole, changedLater, ContentDifferent},
        {"the last byte", whole, changedLast, ContentDifferent},
        {"one block, and a byte more", whole.substr(0, block), whole.substr(0, block + 1),
         ContentDifferent},
        {"two blocks, and more", whole.substr(0, 2 * block), whole, ContentDifferent},
        {"cut a byte past a block", whole.substr(0, block + 1), whole, ContentDifferent},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteTextFile(source, c.first));
        ASSERT_TRUE(WriteTextFile(destination, c.second));
        EXPECT_EQ(c.result, CompareFileContent(source.c_str(), destination.c_str())) << c.what;
        EXPECT_EQ(c.result, CompareFileContent(destination.c_str(), source.c_str())) << c.what;
    }
    ASSERT_TRUE(WriteTextFile(source, whole));
    ASSERT_TRUE(WriteTextFile(destination, changedLater));
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    EXPECT_TRUE(ReadTextFile(destination) == whole) << "taken for the same file";
}

// Whatever stands at the next temporary name and cannot go as a leftover (a file another
// program holds, a folder) is passed over, never opened and written through: a user who can
// write into a Java home must not steer the elevated copy into a file of their choice.
TEST_F(GuardedCopy, WhatStandsAtTheNextTemporaryNameIsPassedOverAndLeftAsItIs)
{
    auto temporaryName = [this](DWORD digits) {
        char name[32];
        snprintf(name, sizeof(name), "~ocf%08lx.tmp", (unsigned long)digits);
        return dir / name;
    };
    MakeDestination();
    std::string file = temporaryName(PeekTemporaryDigits());
    std::string folder = temporaryName(PeekTemporaryDigits() + 1);
    ASSERT_TRUE(WriteTextFile(file, "planted"));
    FileHold holder(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(holder.Held());
    ASSERT_TRUE(MakeDirectory(folder));

    PromptAnswerer user({IDABORT});
    EXPECT_EQ(CopyDone, CopyFileGuarded(source.c_str(), destination.c_str(), 0));
    EXPECT_EQ(0u, user.Count());
    EXPECT_EQ("new contents", ReadTextFile(destination));
    holder.Release();
    EXPECT_EQ("planted", ReadTextFile(file));
    EXPECT_TRUE(Attributes(folder) & FILE_ATTRIBUTE_DIRECTORY);
}

// What an interrupted run left goes at the next; nothing else is taken for it.
TEST(TemporaryFiles, OnlyTheInstallersOwnLeftoversAreRemoved)
{
    const struct {
        const char* name;
        bool ours;
    } cases[] = {
        {"~ocf0123abcd.tmp", true},   {"~ocf0123abc.tmp", false},      {"~ocf0123abcde.tmp", false},
        {"~ocf0123abcg.tmp", false},  {"~ocf0123abcd.tmp.txt", false}, {"ocf0123abcd.tmp", false},
        {"~cardsetup.tmp", false},
    };
    TempDir dir("leftovers");
    for (const auto& c : cases) {
        EXPECT_EQ(c.ours, IsTemporaryName(c.name)) << c.name;
        ASSERT_TRUE(WriteTextFile(dir / c.name, "left"));
    }
    ASSERT_TRUE(MakeDirectory(dir / "~ocf00000000.tmp"));
    ASSERT_TRUE(WriteTextFile(dir / "source", "s"));
    EXPECT_EQ(CopyDone, CopyFileGuarded((dir / "source").c_str(), (dir / "target").c_str(), 0));
    for (const auto& c : cases)
        EXPECT_NE(c.ours, FileExists(dir / c.name)) << c.name;
    EXPECT_TRUE(Attributes(dir / "~ocf00000000.tmp") & FILE_ATTRIBUTE_DIRECTORY);
}
