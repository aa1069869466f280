#include "platform/win32.h"

// Accepts every notification and keeps nothing: no export depends on an
// initialisation step.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
