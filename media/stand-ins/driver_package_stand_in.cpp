// Stands in for the reader vendor's driver package on media assembled without the vendor's
// files: it says what it is in its console window and ends, so the launchers can be seen working.
#include <windows.h>

#include <stdio.h>
#include <string.h>

int main()
{
    char self[MAX_PATH + 1];
    const char* name;

    GetModuleFileNameA(NULL, self, sizeof(self));
    name = strrchr(self, '\\') ? strrchr(self, '\\') + 1 : self;
    printf("%s: atrapa pakietu sterownika czytnika kart.\n", name);
    printf("Prawdziwy nosnik instalacyjny zawiera w tym miejscu pakiet producenta czytnika.\n");
    Sleep(3000);
    return 0;
}
