#include "frame/frame.h"

#include <string.h>

namespace {

// Fills a zeroed 148-byte version record; the query's own result is not
// looked at, so a failed query leaves the zeros in place.
void ReadVersion(OSVERSIONINFOA* info) {
    memset(info, 0, sizeof(*info));
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    GetVersionExA(info);
}

}  // namespace

int IsNtPlatform() {
    OSVERSIONINFOA info;
    ReadVersion(&info);
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0;
}

int IsWindowsMe() {
    OSVERSIONINFOA info;
    ReadVersion(&info);
    return (info.dwMajorVersion == 4 && info.dwMinorVersion >= 90) ? 1 : 0;
}

// Looks at the version numbers alone: NT 4.0 counts as well, which is what
// the operations that ask this probe expect of the 95/98 registry layout.
int IsWindows9598() {
    OSVERSIONINFOA info;
    ReadVersion(&info);
    return (info.dwMajorVersion == 4 && info.dwMinorVersion <= 10) ? 1 : 0;
}

void Trace(const char* text) { OutputDebugStringA(text); }
