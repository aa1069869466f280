// The simulated machine's file system: drives holding folders and files,
// names that keep their letter case and are compared without regard to it,
// entries listed in the order NTFS shows them (sorted, letter case ignored,
// "." and ".." first in every folder but a drive's root).
//
// Paths follow the Win32 rules: a drive letter and colon, backslashes (a
// slash counts as one), repeated backslashes collapsed, "." and ".."
// resolved, trailing dots and blanks of the last name dropped. A path
// without a drive is taken from the current directory.
#ifndef PX714SUP_SIM_FILESYSTEM_H
#define PX714SUP_SIM_FILESYSTEM_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"

namespace sim {

// Status codes the file functions give beyond those of platform/win32.h.
constexpr DWORD kErrorBadNetPath = 53;     // ERROR_BAD_NETPATH: a UNC path
constexpr DWORD kErrorDirectory = 267;     // ERROR_DIRECTORY: not a folder

struct FileNode {
    std::string name;               // as created, case preserved
    bool folder = false;            // a folder; otherwise a file
    DWORD attributes = 0;           // FILE_ATTRIBUTE_READONLY / _HIDDEN / _SYSTEM
    bool inUse = false;             // held open by another program without delete sharing
    DWORD size = 0;                 // bytes, for the find data
    std::optional<std::string> text;  // a file's contents where the machine holds them (INF files)
    std::vector<FileNode> entries;  // a folder's entries, sorted, letter case ignored

    FileNode* Find(std::string_view entryName);
    const FileNode* Find(std::string_view entryName) const;
    // Adds an entry in sorted position, or returns the one of that name.
    FileNode* Add(std::string_view entryName, bool isFolder);
    bool Remove(std::string_view entryName);
};

// A path resolved by the Win32 rules: its drive and the names below the
// drive's root (none for the root itself).
struct ResolvedPath {
    char drive = 'C';                // upper-case letter
    std::vector<std::string> names;  // folders, then the last name
    std::string Text() const;        // "C:\\a\\b", or "C:\\" for the root
};

// True when c begins a double-byte character in the given ANSI code page.
bool IsLeadByteIn(UINT codePage, unsigned char c);

// The Windows directory a version reports: C:\WINNT on NT 4.0 and 2000,
// C:\WINDOWS on 95, 98, Me and XP.
std::string DefaultWindowsDirectory(DWORD platform, DWORD major, DWORD minor);

class FileSystem {
public:
    FileSystem();  // one empty drive, C:

    // ---- Building and inspecting (tests, tool) -------------------------
    void AddDrive(char letter);
    // Full paths ("C:\\dir\\file"); missing folders on the way are created.
    // A malformed path or a file in the way throws std::invalid_argument.
    void AddFolder(std::string_view path, DWORD attributes = 0);
    void AddFile(std::string_view path, DWORD attributes = 0, bool inUse = false);
    // The file at path holds text (its size follows). A missing file is
    // added as AddFile adds it; an existing one keeps its attributes.
    void SetFileText(std::string_view path, std::string_view text);
    // One entry a line: a full path, a folder when it ends in a backslash,
    // followed by any of the words readonly, hidden, system, in-use.
    // Blank lines and lines starting with ';' are passed over. Contents are
    // not part of a listing (SetFileText gives a file its text).
    //   C:\WINDOWS\system32\vxmphook.dll readonly in-use
    //   C:\Program Files\Foo\Data\          (an empty folder)
    void Load(std::string_view text);
    // What is left at or below a folder (all drives when path is empty): one
    // line per file and per empty folder, in enumeration order, in Load's
    // syntax, each ending in a line feed. A folder that holds something is
    // shown by its entries, an empty one by its own line; "" when the path
    // is missing or is an empty drive.
    std::string Listing(std::string_view path = {}) const;
    bool Exists(std::string_view path) const;
    FileNode* Lookup(std::string_view path);  // null when missing or malformed
    const FileNode* Lookup(std::string_view path) const;
    // The drives' root folders by upper-case letter, for comparisons.
    const std::map<char, FileNode>& Drives() const { return drives_; }

    // ---- Machine settings ----------------------------------------------
    // What GetWindowsDirectoryA reports: the version's own folder unless
    // set here; when unavailable the call fails.
    std::optional<std::string> windowsDirectory;
    bool windowsDirectoryUnavailable = false;
    std::string currentDirectory = "C:\\";  // for paths without a drive or root

    // Every FindFirstFileA pattern, in order, as passed.
    std::vector<std::string> searched;

    // ---- For the Win32 functions ---------------------------------------
    // Resolves a path; 0, or the status code Windows gives for it.
    // Wildcards are refused in every name but the last (ERROR_INVALID_NAME).
    DWORD Resolve(std::string_view path, UINT codePage, ResolvedPath* out) const;
    FileNode* Node(const ResolvedPath& path);  // null when missing
    // The status for a missing path: ERROR_PATH_NOT_FOUND when a folder on
    // the way is missing (or is a file), else ERROR_FILE_NOT_FOUND.
    DWORD MissingStatus(const ResolvedPath& path);

    struct Search {
        std::vector<WIN32_FIND_DATAA> entries;  // taken when the search started
        size_t next = 0;                        // the entry FindNextFileA gives
    };
    HANDLE AddSearch(Search search);
    Search* FindSearch(HANDLE handle);
    bool CloseSearch(HANDLE handle);
    // Open handles of this kind, for the leak check.
    size_t OpenHandles() const { return searches_.size(); }

private:
    std::map<char, FileNode> drives_;   // by upper-case letter
    std::map<uintptr_t, Search> searches_;
    uintptr_t nextSearch_ = 0x7000;
};

}  // namespace sim

#endif  // PX714SUP_SIM_FILESYSTEM_H
