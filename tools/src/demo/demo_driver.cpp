// Shows the installer at work without a person at the keyboard: it starts cardsetup.exe from a
// media directory, says Yes, installs with the defaults, opens the details, saves pictures of
// the dialog before and after the run, prints the report and closes the dialog.
// Usage: demo_driver <media directory> <directory for the pictures>
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "resource.h"
#include "support/installer_session.h"

namespace {


bool DetailsShown(HWND dialog)
{
    return WindowText(GetDlgItem(dialog, IDOK)) == "&Szczegóły <<";
}

// Writes what the screen shows of the window as a 24-bit bitmap file.
bool SaveWindowPicture(HWND window, const std::string& path)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> pixels((size_t)stride * height);
    BITMAPINFOHEADER info = {sizeof(info), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);
    bool copied = GetDIBits(memory, bitmap, 0, height, pixels.data(), (BITMAPINFO*)&info,
                            DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);

    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(info)};
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    FILE* out = fopen(path.c_str(), "wb");
    if (!copied || out == NULL) {
        if (out != NULL)
            fclose(out);
        return false;
    }
    fwrite(&file, sizeof(file), 1, out);
    fwrite(&info, sizeof(info), 1, out);
    fwrite(pixels.data(), 1, pixels.size(), out);
    fclose(out);
    return true;
}

// The dialog's texts are in code page 1250; the terminal that reads this output uses UTF-8.
void PrintUtf8(const std::string& text)
{
    std::string utf8 = Utf8FromCp1250(text);
    fwrite(utf8.data(), 1, utf8.size(), stdout);
    fflush(stdout);
}

int Fail(const char* what)
{
    fprintf(stderr, "demo: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return Fail("usage: demo_driver <media directory> <directory for the pictures>");
    std::string media = argv[1];
    std::string pictures = argv[2];
    std::string separator = !media.empty() && media.back() == '\\' ? "" : "\\";
    InstallerSession program(media, media + separator + "cardsetup.exe");
    if (!program.Started())
        return Fail("cardsetup.exe did not start");
    HWND dialog = program.OpenDialog();
    if (dialog == NULL)
        return Fail("the welcome question or the installer dialog did not appear");
    Sleep(500);
    SaveWindowPicture(dialog, pictures + "\\before.bmp");

    PressDialogButton(dialog, IDOK);
    if (!WaitUntil(RunHasEnded, dialog, 120000))
        return Fail("the installation did not end within two minutes");
    PressDialogButton(dialog, IDOK);
    WaitUntil(DetailsShown, dialog, 5000);
    Sleep(500);
    SaveWindowPicture(dialog, pictures + "\\after.bmp");
    PrintUtf8("Raport instalatora:\n" + WindowText(GetDlgItem(dialog, IDC_DETAILS)) + "\n");

    InstallerSession::Closing closing = program.CloseAfterRun(dialog);
    if (closing.notice.empty())
        return Fail("the restart notice did not appear");
    printf("cardsetup.exe ended with exit code %lu\n", closing.exitCode);
    return closing.exitCode == 0 ? 0 : 1;
}
