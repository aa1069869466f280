#include "frame/frame.h"
#include "frame/px714sup.h"

namespace {

// Hands directory + name (joined as they are: the directory carries its own
// trailing backslash) to the device installer with the given copy style.
// The directory itself is the media location. 0 when the device installer
// reports success, -1 otherwise; a joined path that does not fit the 260-byte
// buffer is refused with -1 before any call, as a cut path names another file.
int CopyInfToSystem(const char* sourceDirectory, const char* infFileName, DWORD copyStyle) {
    if (sourceDirectory == 0 || infFileName == 0) return -1;
    char path[MAX_PATH];
    if (!FormatText(path, sizeof(path), "%s%s", sourceDirectory, infFileName)) return -1;
    return SetupCopyOEMInfA(path, sourceDirectory, SPOST_PATH, copyStyle, 0, 0, 0, 0) ? 0 : -1;
}

}  // namespace

// First-time registration: copies the INF only where the same INF is not
// there yet.
extern "C" int WINAPI RegisterInf(const char* sourceDirectory, const char* infFileName) {
    return CopyInfToSystem(sourceDirectory, infFileName, SP_COPY_NOOVERWRITE);
}

// Update: replaces the copy that is there, with the same or a newer version.
extern "C" int WINAPI UpdateInf(const char* sourceDirectory, const char* infFileName) {
    return CopyInfToSystem(sourceDirectory, infFileName, SP_COPY_REPLACEONLY | SP_COPY_NEWER);
}
