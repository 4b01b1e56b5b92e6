// The installed product's record: written whole and read back as it was, its paths kept whatever
// the code page; a file that is not a whole record is refused, never read in part; the run's
// notes that become it.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "deploy/product_record.h"
#include "deploy/run_record.h"
#include "deploy/text.h"
#include "support/test_files.h"

namespace {

const char kDigest[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

RecordEntry Entry(RecordKind kind, const char* path, const char* original = "",
                  const char* digest = kDigest)
{
    RecordEntry entry = {};
    entry.kind = kind;
    CopyText(entry.version, sizeof(entry.version), kind == RecordFile ? "2.4" : "");
    CopyText(entry.digest, sizeof(entry.digest), kind == RecordFile ? digest : "");
    CopyText(entry.path, sizeof(entry.path), path);
    CopyText(entry.original, sizeof(entry.original), original);
    return entry;
}

const std::string kWhole = std::string("cardsetup record 1\nversion\t2.4\nfile\t2.4\t") + kDigest +
                           "\tC:\\a\nbackup\tC:\\p.ocf-bak\tC:\\p\nend\n";

}  // namespace

TEST(ProductRecord, IsReadBackAsItWasWritten)
{
    TempDir dir("record");
    std::string file = dir / "record";
    ProductRecord record = {};
    CopyText(record.version, sizeof(record.version), "2.4");
    const RecordEntry entries[] = {
        Entry(RecordFile, "C:\\Java\\jre\\lib\\ext\\ocf1.2.jar"),
        Entry(RecordFile, "C:\\Users\\Łódź\\.java.policy"),
        Entry(RecordBackup, "C:\\Java\\jre\\lib\\security\\java.policy.ocf-bak",
              "C:\\Java\\jre\\lib\\security\\java.policy"),
        Entry(RecordEdit, "C:\\Users\\Łódź\\.java.policy.ocf-edit", "C:\\Users\\Łódź\\.java.policy"),
    };
    for (const RecordEntry& entry : entries)
        ASSERT_TRUE(AddRecordEntry(&record, &entry));
    RecordEntry again = Entry(RecordFile, "c:\\java\\JRE\\lib\\ext\\ocf1.2.jar", "",
                              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    ASSERT_TRUE(AddRecordEntry(&record, &again));
    EXPECT_EQ(4u, record.count) << "the same file, named in other letters, was added twice";
    ASSERT_EQ((DWORD)ERROR_SUCCESS, WriteProductRecord(&record, file.c_str()));

    ProductRecord read;
    ASSERT_EQ((DWORD)ERROR_SUCCESS, ReadProductRecord(file.c_str(), &read));
    EXPECT_STREQ("2.4", read.version);
    ASSERT_EQ(record.count, read.count);
    for (size_t i = 0; i < read.count; i++) {
        EXPECT_EQ(record.entries[i].kind, read.entries[i].kind) << i;
        EXPECT_STREQ(record.entries[i].version, read.entries[i].version) << i;
        EXPECT_STREQ(record.entries[i].digest, read.entries[i].digest) << i;
        EXPECT_STREQ(record.entries[i].path, read.entries[i].path) << i;
        EXPECT_STREQ(record.entries[i].original, read.entries[i].original) << i;
    }
    EXPECT_STREQ(again.digest, read.entries[0].digest);
    EXPECT_NE(nullptr, FindRecordEntry(&read, RecordEdit, "C:\\USERS\\Łódź\\.java.policy.ocf-edit"));
    EXPECT_EQ(nullptr, FindRecordEntry(&read, RecordBackup, "C:\\Users\\Łódź\\.java.policy"));
    FreeProductRecord(&read);
    FreeProductRecord(&record);
}

TEST(ProductRecord, WhatIsNotAWholeRecordIsRefused)
{
    TempDir dir("record");
    std::string file = dir / "record";
    const struct {
        std::string text;
        DWORD error;
    } cases[] = {
        {kWhole, ERROR_SUCCESS},
        {"", ERROR_INVALID_DATA},
        {kWhole.substr(0, kWhole.size() - 4), ERROR_INVALID_DATA},  // no end line
        {kWhole.substr(0, kWhole.size() - 1), ERROR_INVALID_DATA},  // cut in its last line
        {kWhole + "edit\tC:\\e\tC:\\f\n", ERROR_INVALID_DATA},      // a line after the end
        {"cardsetup record 2" + kWhole.substr(18), ERROR_INVALID_DATA},
        {"cardsetup record 1\nend\n", ERROR_INVALID_DATA},  // no version
        {"cardsetup record 1\nversion\t2.4\nfile\t2.4\tabc\tC:\\a\nend\n", ERROR_INVALID_DATA},
        {"cardsetup record 1\nversion\t2.4\nfile\t2.4\t" + std::string(64, 'A') + "\tC:\\a\nend\n",
         ERROR_INVALID_DATA},
        {"cardsetup record 1\nversion\t2.4\nfile\t2.4\t" + std::string(kDigest) +
             "\tC:\\a\textra\nend\n",
         ERROR_INVALID_DATA},
        {"cardsetup record 1\nversion\t2.4\nlink\tC:\\a\tC:\\b\nend\n", ERROR_INVALID_DATA},
        {std::string("cardsetup record 1\nversion\t2.4\n\0end\n", 34), ERROR_INVALID_DATA},
        // A path that has no form in the ANSI code page cannot be judged: "中".
        {"cardsetup record 1\nversion\t2.4\nedit\tC:\\\xe4\xb8\xad\tC:\\b\nend\n",
         ERROR_NO_UNICODE_TRANSLATION},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteTextFile(file, c.text));
        ProductRecord read;
        EXPECT_EQ(c.error, ReadProductRecord(file.c_str(), &read)) << c.text;
        EXPECT_EQ(c.error == ERROR_SUCCESS ? 2u : 0u, read.count) << c.text;
        FreeProductRecord(&read);
    }
    ProductRecord read;
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, ReadProductRecord((dir / "none").c_str(), &read));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND,
              ReadProductRecord((dir / "no folder\\record").c_str(), &read));
}

// The run's notes become the record; a note that could not be kept, or a source that cannot be
// read, leaves a record that is not whole, never one that silently misses a file.
TEST(RunRecord, IsWholeOnlyWhenEveryNoteWasKeptAndEverySourceRead)
{
    TempDir dir("notes");
    std::string source = dir / "source";
    ASSERT_TRUE(WriteTextFile(source, "abc"));
    const std::string tooLong = "C:\\" + std::string(MAX_PATH, 'x');
    const struct {
        std::string placedFrom;
        std::string placedAt;
        bool whole;
    } cases[] = {
        {source, "C:\\placed", true},
        {source, tooLong, false},
        {dir / "missing", "C:\\placed", false},
    };
    for (const auto& c : cases) {
        ForgetRunRecord();
        NotePlacedFile(source.c_str(), "C:\\first");
        NotePlacedFile(c.placedFrom.c_str(), c.placedAt.c_str());
        EXPECT_EQ(c.whole, FinishRunRecord("2.4")) << c.placedFrom << " -> " << c.placedAt;
        EXPECT_STREQ(kDigest, FindRecordEntry(RunRecord(), RecordFile, "C:\\first")->digest);
    }
    ForgetRunRecord();
    EXPECT_EQ(0u, RunRecord()->count);
}
