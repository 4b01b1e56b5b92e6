// Removal of a stale ocf1.2.jar from the real system directory of the test prefix. Each case
// puts the file there itself and leaves the directory without it.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "components/stale_jar.h"
#include "deploy/status.h"
#include "support/test_files.h"

namespace {

std::string SystemJar()
{
    char directory[MAX_PATH + 1];
    GetSystemDirectoryA(directory, sizeof(directory));
    return std::string(directory) + "\\ocf1.2.jar";
}

class StaleJar : public ::testing::Test {
protected:
    void SetUp() override { memset(message, 'x', sizeof(message)); }
    void TearDown() override
    {
        SetFileAttributesA(jar.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(jar.c_str());
    }
    bool MessageUntouched() const
    {
        for (char c : message)
            if (c != 'x')
                return false;
        return true;
    }

    std::string jar = SystemJar();
    char message[kMessageCapacity];
};

}  // namespace

TEST_F(StaleJar, NothingToRemoveIsSuccessAndSilent)
{
    ASSERT_FALSE(FileExists(jar));
    EXPECT_EQ(1, RemoveStaleOcfJar(message, sizeof(message)));
    EXPECT_TRUE(MessageUntouched());
}

TEST_F(StaleJar, RemovesTheLibraryAndASecondRunFindsNothing)
{
    ASSERT_TRUE(WriteTextFile(jar, "old library"));
    EXPECT_EQ(1, RemoveStaleOcfJar(message, sizeof(message)));
    EXPECT_FALSE(FileExists(jar));
    EXPECT_EQ(1, RemoveStaleOcfJar(message, sizeof(message)));
    EXPECT_TRUE(MessageUntouched());
}

TEST_F(StaleJar, ALibraryInUseStaysAndIsReported)
{
    ASSERT_TRUE(WriteTextFile(jar, "old library"));
    FileHold other(jar, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(other.Held());
    EXPECT_EQ(0, RemoveStaleOcfJar(message, sizeof(message)));
    EXPECT_STREQ("Błąd kasowania pliku ocf1.2.jar w katalogu systemowym", message);
    EXPECT_EQ(53u, strlen(message));
    for (size_t i = 53; i < sizeof(message); i++)
        ASSERT_EQ('\0', message[i]) << "the rest of the buffer is zeroed";
    EXPECT_EQ(0, RemoveStaleOcfJar(NULL, kMessageCapacity));
    EXPECT_TRUE(FileExists(jar));
}

TEST_F(StaleJar, AShortBufferGetsTheMessageCutAndTerminated)
{
    ASSERT_TRUE(WriteTextFile(jar, "old library"));
    FileHold other(jar, GENERIC_READ, FILE_SHARE_READ);
    EXPECT_EQ(0, RemoveStaleOcfJar(message, 6));
    EXPECT_STREQ("Błąd ", message);
    EXPECT_EQ('x', message[6]);
    EXPECT_EQ(0, RemoveStaleOcfJar(message, 0));
}

TEST_F(StaleJar, AReadOnlyLibraryStays)
{
    ASSERT_TRUE(WriteTextFile(jar, "old library"));
    ASSERT_TRUE(SetFileAttributesA(jar.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(0, RemoveStaleOcfJar(message, sizeof(message)));
    EXPECT_STREQ("Błąd kasowania pliku ocf1.2.jar w katalogu systemowym", message);
    EXPECT_EQ("old library", ReadTextFile(jar));
}
