// A winscard.dll that loads but has no SCardListReadersA, for the case of a PC/SC library that
// lacks the function the installer asks for.
#include <windows.h>

extern "C" __declspec(dllexport) LONG WINAPI SCardEstablishContext(DWORD, const void*,
                                                                   const void*, ULONG_PTR*)
{
    return (LONG)0x8010001D;
}
