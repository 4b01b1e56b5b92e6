// The built program file as Windows reads it: its dialog template, icon, version information
// and manifest from the resources, and from the PE headers its machine, subsystem and imports.
#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "resource.h"
#include "support/test_files.h"

namespace {

std::string ProgramFile()
{
    return ProgramDirectory() + "\\cardsetup.exe";
}

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExA(ProgramFile().c_str(), NULL,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_TRUE(module != NULL) << "cannot open " << ProgramFile();
    }
    void TearDown() override
    {
        if (module != NULL)
            FreeLibrary(module);
    }
    // The resource's bytes, in the given language or, with LANG_NEUTRAL, in any.
    std::vector<unsigned char> Resource(LPCSTR type, LPCSTR name, WORD language)
    {
        HRSRC found = FindResourceExA(module, type, name, language);
        if (found == NULL)
            return {};
        const unsigned char* data = (const unsigned char*)LockResource(LoadResource(module, found));
        return std::vector<unsigned char>(data, data + SizeofResource(module, found));
    }

    HMODULE module = NULL;
};

// Reads a classic dialog template field by field.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
    bool Ok() const { return ok_; }
    DWORD Dword()
    {
        DWORD value = 0;
        Take(&value, sizeof(value));
        return value;
    }
    WORD Word()
    {
        WORD value = 0;
        Take(&value, sizeof(value));
        return value;
    }
    short Short() { return (short)Word(); }
    // A name or ordinal: an ordinal comes back as L"#<number>".
    std::wstring NameOrOrdinal()
    {
        WORD first = Word();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        std::wstring text;
        for (WORD c = first; ok_ && c != 0; c = Word())
            text += (wchar_t)c;
        return text;
    }
    void AlignToDword() { position_ = (position_ + 3) & ~(size_t)3; }

private:
    void Take(void* value, size_t size)
    {
        if (position_ + size > bytes_.size()) {
            ok_ = false;
            return;
        }
        memcpy(value, bytes_.data() + position_, size);
        position_ += size;
    }

    const std::vector<unsigned char>& bytes_;
    size_t position_ = 0;
    bool ok_ = true;
};

struct ExpectedControl {
    int id;
    const wchar_t* windowClass;
    DWORD style;
    short x, y, width, height;
    const wchar_t* text;
};

// The classes by name, as the template names them (an ordinal form would serve Windows as well).
const wchar_t kButton[] = L"BUTTON";
const wchar_t kEdit[] = L"EDIT";
const wchar_t kStatic[] = L"STATIC";
const wchar_t kComboBox[] = L"COMBOBOX";

const ExpectedControl kControls[] = {
    {-1, kButton, 0x50020007, 5, 5, 319, 120, L"Instalowane składniki"},
    {-1, kStatic, 0x50020000, 15, 20, 180, 20,
     L"Wybierz instalowane składniki (jeśli nie jesteś pewny - pozostaw składnik z listy jako "
     L"wybrany):"},
    {1001, kButton, 0x50038003, 8, 48, 105, 15, L"Sterowniki czytnika kart"},
    {1002, kButton, 0x48018003, 8, 65, 145, 15, L"Komponenty dla MS Internet Explorer"},
    {1003, kButton, 0x48018003, 8, 79, 145, 15, L"Komponenty dla Netscape 4.x"},
    {1004, kButton, 0x50018003, 8, 95, 145, 15, L"Komponenty dla Sun Java Plug-in"},
    {1005, kStatic, 0x5002020C, 165, 50, 30, 15, L""},
    {1006, kStatic, 0x5002020C, 165, 65, 30, 15, L""},
    {1007, kStatic, 0x5002020C, 165, 80, 30, 15, L""},
    {1008, kStatic, 0x5002020C, 165, 95, 30, 15, L""},
    {1010, kComboBox, 0x50230003, 99, 50, 211, 60, L""},
    {1, kButton, 0x50030001, 10, 130, 80, 14, L"In&staluj"},
    {2, kButton, 0x50010000, 235, 130, 80, 14, L"&Zaniechaj"},
    {1009, kEdit, 0x50A20804, 5, 150, 315, 100, L""},
};

}  // namespace

TEST_F(ProgramResources, TheDialogTemplateIsTheClassicPolishOne)
{
    std::vector<unsigned char> bytes = Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_INSTALLER),
                                                MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT));
    ASSERT_FALSE(bytes.empty()) << "no Polish dialog 101";
    ASSERT_NE(0xFFFF0001u, *(const DWORD*)bytes.data()) << "an extended template";
    TemplateReader reader(bytes);

    EXPECT_EQ(0x80C808C0u, reader.Dword());
    EXPECT_EQ(0u, reader.Dword()) << "extended style";
    WORD count = reader.Word();
    EXPECT_EQ(14, count);
    EXPECT_EQ(0, reader.Short());
    EXPECT_EQ(0, reader.Short());
    EXPECT_EQ(370, reader.Short());
    EXPECT_EQ(255, reader.Short());
    EXPECT_EQ(L"", reader.NameOrOrdinal()) << "menu";
    EXPECT_EQ(L"", reader.NameOrOrdinal()) << "class";
    EXPECT_EQ(L"", reader.NameOrOrdinal()) << "title";
    EXPECT_EQ(8, reader.Word()) << "font size";
    EXPECT_EQ(L"MS Sans Serif", reader.NameOrOrdinal());

    for (size_t i = 0; i < count && i < sizeof(kControls) / sizeof(kControls[0]); i++) {
        const ExpectedControl& want = kControls[i];
        reader.AlignToDword();
        EXPECT_EQ(want.style, reader.Dword()) << "control " << i;
        EXPECT_EQ(0u, reader.Dword()) << "control " << i;
        EXPECT_EQ(want.x, reader.Short()) << "control " << i;
        EXPECT_EQ(want.y, reader.Short()) << "control " << i;
        EXPECT_EQ(want.width, reader.Short()) << "control " << i;
        EXPECT_EQ(want.height, reader.Short()) << "control " << i;
        EXPECT_EQ((WORD)want.id, reader.Word()) << "control " << i;
        EXPECT_EQ(want.windowClass, reader.NameOrOrdinal()) << "control " << i;
        EXPECT_EQ(want.text, reader.NameOrOrdinal()) << "control " << i;
        EXPECT_EQ(0, reader.Word()) << "creation data of control " << i;
    }
    EXPECT_TRUE(reader.Ok()) << "the template ends early";
}

TEST_F(ProgramResources, OneSixteenColourIconOfThirtyTwoPixels)
{
    std::vector<unsigned char> group =
        Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_CARDSETUP), LANG_NEUTRAL);
    ASSERT_EQ(6u + 14u, group.size()) << "one icon group entry";
    const WORD* header = (const WORD*)group.data();
    EXPECT_EQ(1, header[1]) << "an icon";
    EXPECT_EQ(1, header[2]) << "one image";
    const unsigned char* entry = group.data() + 6;
    EXPECT_EQ(32, entry[0]);
    EXPECT_EQ(32, entry[1]);
    EXPECT_EQ(16, entry[2]) << "colours";
    WORD imageId = *(const WORD*)(entry + 12);
    std::vector<unsigned char> image = Resource(RT_ICON, MAKEINTRESOURCEA(imageId), LANG_NEUTRAL);
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
    const BITMAPINFOHEADER* bitmap = (const BITMAPINFOHEADER*)image.data();
    EXPECT_EQ(32, bitmap->biWidth);
    EXPECT_EQ(64, bitmap->biHeight) << "image and mask";
    EXPECT_EQ(4, bitmap->biBitCount);
}

TEST_F(ProgramResources, TheVersionIsTwoPointFourInPolish)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(ProgramFile().c_str(), &ignored);
    ASSERT_NE(0u, size);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(ProgramFile().c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", (void**)&fixed, &length));
    EXPECT_EQ(0x00020004u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00020004u, fixed->dwProductVersionMS);
    WORD* translation = NULL;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", (void**)&translation,
                               &length));
    EXPECT_EQ(0x0415, translation[0]) << "Polish";
    EXPECT_EQ(1250, translation[1]);
    wchar_t* text = NULL;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041504E2\\FileVersion",
                               (void**)&text, &length));
    EXPECT_EQ(std::wstring(L"2.4"), text);
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041504E2\\FileDescription",
                               (void**)&text, &length));
    EXPECT_EQ(std::wstring(L"Instalator czytnika kart mikroprocesorowych dla przeglądarek "
                           L"internetowych"),
              text);
    // The same publisher as the Apps & features entry names.
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041504E2\\CompanyName",
                               (void**)&text, &length));
    EXPECT_EQ(std::wstring(L"Projekt cardsetup"), text);
}

TEST_F(ProgramResources, TheManifestAsksForAdministratorRightsAndIsDpiAware)
{
    std::vector<unsigned char> bytes =
        Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), LANG_NEUTRAL);  // RT_MANIFEST
    std::string manifest(bytes.begin(), bytes.end());
    EXPECT_NE(std::string::npos, manifest.find("level=\"requireAdministrator\""));
    EXPECT_NE(std::string::npos, manifest.find(">true</dpiAware>"));
    EXPECT_NE(std::string::npos, manifest.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"))
        << "Windows 7";
    EXPECT_NE(std::string::npos, manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"))
        << "Windows 10 and 11";
}

TEST(ProgramFile, IsA64BitGuiProgramThatImportsOnlySystemLibraries)
{
    std::string bytes = ReadTextFile(ProgramFile());
    ASSERT_GT(bytes.size(), 4096u);
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)bytes.data();
    const IMAGE_NT_HEADERS64* nt = (const IMAGE_NT_HEADERS64*)(bytes.data() + dos->e_lfanew);
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, nt->FileHeader.Machine);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);

    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
    auto offsetOf = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; i++)
            if (rva >= sections[i].VirtualAddress &&
                rva < sections[i].VirtualAddress + sections[i].SizeOfRawData)
                return rva - sections[i].VirtualAddress + sections[i].PointerToRawData;
        return 0;
    };
    DWORD importRva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    const IMAGE_IMPORT_DESCRIPTOR* import =
        (const IMAGE_IMPORT_DESCRIPTOR*)(bytes.data() + offsetOf(importRva));
    std::vector<std::string> names;
    for (; import->Name != 0; import++)
        names.push_back(bytes.data() + offsetOf(import->Name));
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names)
        EXPECT_TRUE(SamePath(name, "KERNEL32.dll") || SamePath(name, "USER32.dll") ||
                    SamePath(name, "ADVAPI32.dll") || SamePath(name, "bcrypt.dll") ||
                    SamePath(name, "msvcrt.dll"))
            << name;
}

// Built with the stack protector: the check's failure routine, linked statically, is in the
// program, and its text with it; a build without the protector links no such routine.
TEST(ProgramFile, CarriesTheStackChecksFailureRoutine)
{
    std::string bytes = ReadTextFile(ProgramFile());
    ASSERT_GT(bytes.size(), 4096u);
    EXPECT_NE(std::string::npos, bytes.find("*** stack smashing detected ***"))
        << "cardsetup.exe was built without -fstack-protector-strong";
}

// A program built with the same flags that overruns a stack buffer ends at once, with an
// exception's code (the check traps: an illegal instruction), before the function returns into
// what it overwrote: what it wrote before is whole, and nothing after the overrun is written.
// Twenty bytes into sixteen reach the check's guard but not the return address: built without
// the protector, the function returns and the program goes on.
TEST(ProgramFile, AProgramBuiltTheSameWayEndsAtOnceWhenItsStackIsOverrun)
{
    TempDir dir("overrun");
    std::string line = "\"" + ProgramDirectory() + "\\stack_overrun.exe\" " +
                       std::string(20, 'A') + " \"" + (dir / "before.txt") + "\" \"" +
                       (dir / "after.txt") + "\"";
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(NULL, commandLine.data(), NULL, NULL, FALSE, CREATE_NO_WINDOW,
                               NULL, dir.Path().c_str(), &startup, &process));
    CloseHandle(process.hThread);
    DWORD waited = WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    ASSERT_EQ(WAIT_OBJECT_0, waited) << "the overrun program did not end";
    EXPECT_EQ(0xC0000000u, exitCode & 0xF0000000u) << std::hex << exitCode;
    EXPECT_EQ("written whole before the overrun", ReadTextFile(dir / "before.txt"));
    EXPECT_FALSE(FileExists(dir / "after.txt")) << "the overrun function returned";
}
