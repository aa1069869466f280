// Files and folders the legacy players left: a folder's files, and the
// hook library and driver files in the Windows directory.
#ifndef PX714SUP_LEGACY_FILES_H
#define PX714SUP_LEGACY_FILES_H

#include "frame/frame.h"

// Deletes every file that lies directly in folderPath, announcing each entry
// with its full path, then removes the folder if that left it empty. It does
// not descend into subfolders; files that cannot be deleted stay. A path
// that is not a full path of a folder below a drive's root (empty,
// relative, a root, or with a "." or ".." name) is refused with a trace
// line and nothing is searched or removed.
void DeleteFolder(const char* folderPath);

// Deletes the legacy players' hook library and driver files below the
// Windows directory: vxmphook.dll in system32 and system, mp3drv.sys, and
// vxscsi.sys (NT) or vxscsi.mpd (95/98/Me). Without a usable Windows
// directory it deletes nothing and says so.
void DeleteLegacyDriverFiles();

enum WindowsDirectoryResult {
    WindowsDirectoryRead,         // a path beginning with a drive letter and colon
    WindowsDirectoryUnavailable,  // the query failed, or gave no "X:" path
    WindowsDirectoryTooLong       // it does not fit the buffer
};
// Reads the Windows directory into buffer (capacity bytes). On anything
// but WindowsDirectoryRead the buffer holds the empty text.
WindowsDirectoryResult ReadWindowsDirectory(char* buffer, UINT capacity);

#endif  // PX714SUP_LEGACY_FILES_H
