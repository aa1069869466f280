// Calls px714sup.dll through its import library, as a C++ setup program.
#include <cstdio>

#include <px714sup.h>

int main() {
    unsigned short index = 0;
    char name[128] = {};
    const int found = FindLegacyPlayers(&index, name);
    std::printf("found=%d volume=%d\n", found, RemoveVolumeRegEntries());
    return 0;
}
