// The Internet Explorer step against the test prefix's real Windows and system directories: the
// class tree goes below %windir%\java\lib, the bridge into system32; both are removed afterwards.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "components/ie_components.h"
#include "step_fixture.h"
#include "support/prompt_answerer.h"
#include "support/registry_keys.h"
#include "support/test_files.h"

namespace {

class IeComponents : public ComponentStepTest {
protected:
    void SetUp() override
    {
        // The browser's Java environment has made %windir%\\java; the step makes only java\\lib.
        javaExisted = FileExists(javaDirectory);
        ASSERT_TRUE(javaExisted || MakeDirectory(javaDirectory));
        ASSERT_TRUE(MakeDirectory(msie));
        ASSERT_TRUE(MakeDirectory(msie + "\\ocf"));
        ASSERT_TRUE(MakeDirectory(msie + "\\ocf\\opencard"));
        ASSERT_TRUE(MakeDirectory(msie + "\\ocf\\opencard\\core"));
        ASSERT_TRUE(WriteTextFile(msie + "\\ocf\\opencard\\core\\Card.class", "card class"));
        ASSERT_TRUE(WriteTextFile(msie + "\\ocf\\opencard\\Pcsc.class", "pcsc class"));
        ASSERT_TRUE(WriteTextFile(msie + "\\ocfpcsc1.dll", "pcsc bridge"));
        ASSERT_TRUE(SetWriteTimeUtc(msie + "\\ocfpcsc1.dll", 2015, 6, 7, 8, 9, 10));
        DeleteFileA(systemLibrary.c_str());
    }
    void TearDown() override
    {
        DeleteFileA(systemLibrary.c_str());
        if (javaExisted)
            RemoveTree(javaLib + "\\opencard");
        else
            RemoveTree(javaDirectory);
    }

    ComponentStatus Install(char* buffer)
    {
        return RunFromMedia([&] { return InstallIeComponents(buffer, kMessageCapacity); });
    }
    ComponentStatus Install() { return Install(message); }

    std::string msie = media / "msie";
    std::string javaDirectory = WindowsDirectory() + "\\java";
    std::string javaLib = javaDirectory + "\\lib";
    std::string systemLibrary = SystemDirectory() + "\\ocfpcsc1.dll";
    bool javaExisted = false;
};

}  // namespace

TEST_F(IeComponents, CopiesTheClassTreeIntoJavaLibAndTheBridgeIntoTheSystemDirectory)
{
    PromptAnswerer user;
    EXPECT_EQ(StatusOk, Install());
    EXPECT_TRUE(MessageUntouched());
    EXPECT_EQ("card class", ReadTextFile(javaLib + "\\opencard\\core\\Card.class"));
    EXPECT_EQ("pcsc class", ReadTextFile(javaLib + "\\opencard\\Pcsc.class"));
    EXPECT_EQ("pcsc bridge", ReadTextFile(systemLibrary));
    EXPECT_EQ(0u, user.Count());
}

TEST_F(IeComponents, MissingMediaIsReportedAndNothingIsCopied)
{
    RemoveTree(msie);
    EXPECT_EQ(StatusError, Install());
    EXPECT_STREQ("Instalator jest niekompletny", message);
    EXPECT_FALSE(FileExists(systemLibrary));

    ASSERT_TRUE(MakeDirectory(msie));  // msie without its ocf tree
    ASSERT_TRUE(WriteTextFile(msie + "\\ocfpcsc1.dll", "pcsc bridge"));
    EXPECT_EQ(StatusError, Install());
    EXPECT_STREQ("Błąd kopiowania pliku: kod #2, plik: `'", message);
    EXPECT_FALSE(FileExists(systemLibrary)) << "the bridge was copied after the tree failed";
}

TEST_F(IeComponents, WithoutTheJavaDirectoryTheTreeCopyNamesTheFirstDestination)
{
    if (javaExisted)
        GTEST_SKIP() << "this prefix has a java directory of its own, which the test keeps";
    RemoveTree(javaDirectory);
    RemoveTree(msie + "\\ocf\\opencard\\core");  // one file below ocf\\opencard, no subdirectory
    EXPECT_EQ(StatusError, Install());
    EXPECT_EQ("Błąd kopiowania pliku: kod #3, plik: `" + javaLib + "\\opencard'",
              std::string(message));
    EXPECT_FALSE(FileExists(systemLibrary));
}

TEST_F(IeComponents, AClassThatCannotBeCopiedIsNamedByItsMediaPath)
{
    ASSERT_TRUE(MakeDirectory(javaLib) || FileExists(javaLib));
    ASSERT_TRUE(MakeDirectory(javaLib + "\\opencard"));
    ASSERT_TRUE(WriteTextFile(javaLib + "\\opencard\\Pcsc.class", "in use"));
    FileHold inUse(javaLib + "\\opencard\\Pcsc.class", GENERIC_READ, 0);

    EXPECT_EQ(StatusError, Install());
    EXPECT_STREQ("Błąd kopiowania pliku: kod #1, plik: `ocf\\opencard\\Pcsc.class'", message);
    EXPECT_FALSE(FileExists(systemLibrary));
}

TEST_F(IeComponents, ABridgeThatCannotBeCopiedIsNamedByItsFileName)
{
    ASSERT_TRUE(WriteTextFile(systemLibrary, "in use"));
    FileHold inUse(systemLibrary, GENERIC_READ, 0);
    EXPECT_EQ(StatusError, Install());
    EXPECT_STREQ("Błąd kopiowania pliku: kod #1, plik: `ocfpcsc1.dll'", message);
}

TEST_F(IeComponents, AnIdenticalBridgeInUseIsAcceptedWithoutAPrompt)
{
    ASSERT_TRUE(CopyFileA((msie + "\\ocfpcsc1.dll").c_str(), systemLibrary.c_str(), FALSE));
    FileHold inUse(systemLibrary, GENERIC_READ, FILE_SHARE_READ);
    PromptAnswerer user;
    EXPECT_EQ(StatusOk, Install());
    EXPECT_EQ(0u, user.Count());
}

TEST_F(IeComponents, AbortInTheTreeSkipsTheBridge)
{
    ASSERT_TRUE(Install() == StatusOk);
    DeleteFileA(systemLibrary.c_str());
    FileHold inUse(javaLib + "\\opencard\\core\\Card.class", GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(WriteTextFile(msie + "\\ocf\\opencard\\core\\Card.class", "newer card class"));
    PromptAnswerer user({IDABORT});

    EXPECT_EQ(StatusAborted, Install());
    EXPECT_STREQ("Przerwa na życzenie użytkownika", message);
    EXPECT_EQ(1u, user.Count());
    EXPECT_FALSE(FileExists(systemLibrary));
}

TEST_F(IeComponents, ANullMessageGetsTheStatusAndNoText)
{
    RemoveTree(msie + "\\ocf");
    EXPECT_EQ(StatusError, Install(NULL));
    {
        ScopedCurrentDirectory inMedia(media.Path());
        EXPECT_EQ(StatusError, InstallIeComponents(message, 0));
    }
    EXPECT_TRUE(MessageUntouched());
}
