#include "frame/frame.h"
#include "legacy/files.h"


namespace {

// A trace line of DeleteFolder holds "\tDeleting " and a folder path that
// left room for "\\*.*" in MAX_PATH, or a tab and an entry path of at most
// MAX_PATH - 1 characters: both always fit.
const size_t kFolderLineSize = MAX_PATH + 16;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDotName(const char* name) {
    return (name[0] == '.' && name[1] == 0) || (name[0] == '.' && name[1] == '.' && name[2] == 0);
}

// A folder below a drive's root: "X:\\" and at least one name, none of
// them made of dots and blanks alone (empty names between doubled
// backslashes are passed over, as Windows collapses them).
bool IsFolderBelowRoot(const char* path) {
    char drive = path[0];
    bool letter = (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
    if (!letter || path[1] != ':' || !IsSeparator(path[2])) return false;
    int names = 0;
    const char* p = path + 3;
    while (*p != 0) {
        if (IsSeparator(*p)) {
            ++p;
            continue;
        }
        bool onlyDotsAndBlanks = true;
        while (*p != 0 && !IsSeparator(*p)) {
            if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != 0) {
                onlyDotsAndBlanks = false;
                p += 2;
                continue;
            }
            if (*p != '.' && *p != ' ') onlyDotsAndBlanks = false;
            ++p;
        }
        if (onlyDotsAndBlanks) return false;
        ++names;
    }
    return names > 0;
}

}  // namespace

void DeleteFolder(const char* folderPath) {
    // An empty path would search the current drive's root, "C:\\" a root
    // itself, "..\\" a parent: none of them is a player's folder.
    if (!IsFolderBelowRoot(folderPath)) {
        Trace("\tNot a folder to clean: ");
        Trace(folderPath);
        Trace("\n");
        return;
    }
    char pattern[MAX_PATH];
    if (!FormatText(pattern, sizeof pattern, "%s\\%s", folderPath, "*.*")) {
        Trace("\tToo long, left out: folder ");
        Trace(folderPath);
        Trace("\n");
        return;
    }
    char line[kFolderLineSize];
    if (FormatText(line, sizeof line, "\tDeleting %s\n", folderPath)) Trace(line);

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            char name[MAX_PATH];
            found.cFileName[MAX_PATH - 1] = 0;
            CopyText(name, sizeof name, found.cFileName);
            if (IsDotName(name)) continue;
            char entry[MAX_PATH];
            if (!FormatText(entry, sizeof entry, "%s\\%s", folderPath, name)) {
                Trace("\tToo long, left out: entry ");
                Trace(name);
                Trace("\n");
                continue;
            }
            if (FormatText(line, sizeof line, "\t%s\n", entry)) Trace(line);
            // Subfolders and files that are read-only or in use stay.
            DeleteFileA(entry);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    // Succeeds only when the folder is now empty.
    RemoveDirectoryA(folderPath);
}

WindowsDirectoryResult ReadWindowsDirectory(char* buffer, UINT capacity) {
    UINT length = GetWindowsDirectoryA(buffer, capacity);
    if (length >= capacity) {
        buffer[0] = 0;
        return WindowsDirectoryTooLong;
    }
    char drive = length >= 2 ? buffer[0] : 0;
    bool letter = (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
    if (!letter || buffer[1] != ':') {
        buffer[0] = 0;
        return WindowsDirectoryUnavailable;
    }
    return WindowsDirectoryRead;
}

void DeleteLegacyDriverFiles() {
    const char* files[4] = {
        "system32\\vxmphook.dll",
        "system\\vxmphook.dll",
        "system32\\drivers\\mp3drv.sys",
        IsNtPlatform() ? "system32\\drivers\\vxscsi.sys" : "system\\iosubsys\\vxscsi.mpd",
    };
    char windows[MAX_PATH];
    WindowsDirectoryResult result = ReadWindowsDirectory(windows, sizeof windows);
    if (result == WindowsDirectoryTooLong) {
        TraceTooLong("Windows directory, driver files");
        return;
    }
    if (result != WindowsDirectoryRead) {
        Trace("\t\tNo Windows directory: driver files left\n");
        return;
    }
    for (int i = 0; i < 4; ++i) {
        char path[MAX_PATH];
        if (FormatText(path, sizeof path, "%s\\%s", windows, files[i]))
            DeleteFileA(path);  // the outcome decides nothing
        else
            TraceTooLong(files[i]);
    }
}
