// A Windows machine's folders and files, copied to a host folder, loaded
// into the simulated file system (px714sup --files DIR).
#ifndef PX714SUP_TOOLS_HOSTFILES_H
#define PX714SUP_TOOLS_HOSTFILES_H

#include <cstddef>
#include <string>
#include <vector>

#include "sim/codepage.h"
#include "sim/filesystem.h"

namespace px714tool {

// What a file system holds, for the report.
struct FileCensus {
    size_t drives = 0;
    size_t folders = 0;   // drives' roots not counted
    size_t files = 0;
    size_t readOnly = 0;  // files and folders
    size_t texts = 0;     // files whose text the machine holds
};
FileCensus CountFiles(const sim::FileSystem& files);

// The largest .inf file whose text is taken.
constexpr size_t kMaxInfText = 8u << 20;

// Loads DIR into files. DIR holds one folder per drive, named by its letter
// (DIR/C, DIR/D ...; either case), each holding what that drive holds:
// DIR/C/WINDOWS/system32/... is C:\WINDOWS\system32\.... Names are read as
// UTF-8 and kept in the code page; a file that no one may write on the
// host is read-only; an .inf file brings its text (up to kMaxInfText).
// Symbolic links are followed (a link back to a folder above is refused).
// Entries that are neither files nor folders are passed over and counted
// in a note. False, with a message that names the host path, when DIR
// holds anything but drive folders at its top, when a name is no Windows
// file name or cannot be held in the code page, when two names of a folder
// differ only in letter case, or when something cannot be read.
bool LoadHostFolder(const std::string& dir, const sim::CodePage& codePage, sim::FileSystem* files,
                    std::vector<std::string>* notes, std::string* error);

}  // namespace px714tool

#endif  // PX714SUP_TOOLS_HOSTFILES_H
