/* Calls px714sup.dll through its import library, as a C setup program. */
#include <stdio.h>

#include <px714sup.h>

int main(void) {
    unsigned short index = 0;
    char name[128];
    if (FindLegacyPlayers(&index, name)) printf("legacy player %u: %s\n", index, name);
    else printf("no legacy player\n");
    return 0;
}
