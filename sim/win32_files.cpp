// The file functions of platform/win32.h over the current machine: the
// Windows directory, file searches, file and folder deletion.
//
// They set the last error on failure and leave it alone on success.
#include <cstring>

#include "sim/machine.h"

using sim::Current;
using sim::FileNode;
using sim::FileSystem;
using sim::ResolvedPath;

namespace {

std::string_view Text(LPCSTR s) { return s ? std::string_view(s) : std::string_view(); }

template <typename Result>
Result Fail(sim::Machine& m, DWORD code, Result result) {
    m.lastError = code;
    return result;
}

// True when the last byte is a backslash or slash of its own, not the
// trail byte of a double-byte character.
bool EndsWithSeparator(std::string_view text, UINT codePage) {
    bool separator = false;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        separator = false;
        if (sim::IsLeadByteIn(codePage, c) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        separator = c == '\\' || c == '/';
    }
    return separator;
}

unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c; }

// '*' any run, '?' one character, letter case ignored; "*" and "*.*" match
// every name, a name without a dot included.
bool Matches(std::string_view pattern, std::string_view name) {
    if (pattern == "*" || pattern == "*.*") return true;
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Upper(pattern[p]) == Upper(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

WIN32_FIND_DATAA FindData(std::string_view name, bool folder, DWORD attributes, DWORD size) {
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = folder ? (FILE_ATTRIBUTE_DIRECTORY | attributes) : (attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    data.nFileSizeLow = folder ? 0 : size;
    std::memcpy(data.cFileName, name.data(), name.size());  // at most 255 bytes
    return data;
}

// Resolves a path naming one file or folder (no wildcards); 0 or a status.
DWORD ResolveTarget(sim::Machine& m, LPCSTR path, ResolvedPath* resolved) {
    if (path == nullptr) return ERROR_INVALID_PARAMETER;
    DWORD status = m.files.Resolve(path, m.codePage, resolved);
    if (status != 0) return status;
    if (!resolved->names.empty() && resolved->names.back().find_first_of("*?") != std::string::npos)
        return ERROR_INVALID_NAME;
    return 0;
}

// The folder holding a resolved path, and the path without its last name.
FileNode* Parent(FileSystem& files, const ResolvedPath& path) {
    ResolvedPath parent = path;
    parent.names.pop_back();
    return files.Node(parent);
}

// True when the current directory is the folder or lies below it.
bool HoldsCurrentDirectory(sim::Machine& m, const ResolvedPath& folder) {
    ResolvedPath current;
    if (m.files.Resolve(m.files.currentDirectory, m.codePage, &current) != 0) return false;
    if (current.drive != folder.drive || current.names.size() < folder.names.size()) return false;
    for (size_t i = 0; i < folder.names.size(); ++i)
        if (sim::CompareKeyNames(current.names[i], folder.names[i]) != 0) return false;
    return true;
}

}  // namespace

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    sim::Machine& m = Current();
    if (auto code = m.CheckFault("GetWindowsDirectoryA")) return Fail<UINT>(m, *code ? *code : ERROR_PATH_NOT_FOUND, 0);
    if (m.files.windowsDirectoryUnavailable) return Fail<UINT>(m, ERROR_PATH_NOT_FOUND, 0);
    std::string folder = m.files.windowsDirectory
                             ? *m.files.windowsDirectory
                             : sim::DefaultWindowsDirectory(m.version.platform, m.version.major, m.version.minor);
    UINT length = static_cast<UINT>(folder.size());
    // Too small a buffer is left as it was; the result is the size needed,
    // the terminator included.
    if (buffer == nullptr || size <= length) return length + 1;
    std::memcpy(buffer, folder.c_str(), length + 1);
    return length;
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    sim::Machine& m = Current();
    if (pattern == nullptr || data == nullptr) return Fail(m, ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    m.files.searched.emplace_back(pattern);
    if (auto code = m.CheckFault("FindFirstFileA", pattern))
        return Fail(m, *code ? *code : ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    // A pattern that ends in a backslash names no entry.
    if (*pattern != 0 && EndsWithSeparator(pattern, m.codePage)) return Fail(m, ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    ResolvedPath resolved;
    DWORD status = m.files.Resolve(pattern, m.codePage, &resolved);
    if (status != 0) return Fail(m, status, INVALID_HANDLE_VALUE);
    if (resolved.names.empty()) return Fail(m, ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);

    std::string wanted = resolved.names.back();
    resolved.names.pop_back();
    FileNode* folder = m.files.Node(resolved);
    if (folder == nullptr) return Fail(m, ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    if (!folder->folder) return Fail(m, sim::kErrorDirectory, INVALID_HANDLE_VALUE);

    FileSystem::Search search;
    // A drive's root has no "." and ".." entries.
    if (!resolved.names.empty()) {
        for (const char* dots : {".", ".."})
            if (Matches(wanted, dots)) search.entries.push_back(FindData(dots, true, 0, 0));
    }
    for (const FileNode& entry : folder->entries)
        if (Matches(wanted, entry.name)) search.entries.push_back(FindData(entry.name, entry.folder, entry.attributes, entry.size));
    if (search.entries.empty()) return Fail(m, ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    *data = search.entries[0];
    search.next = 1;
    return m.files.AddSearch(std::move(search));
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA data) {
    sim::Machine& m = Current();
    FileSystem::Search* search = m.files.FindSearch(handle);
    if (search == nullptr) return Fail(m, ERROR_INVALID_HANDLE, FALSE);
    if (data == nullptr) return Fail(m, ERROR_INVALID_PARAMETER, FALSE);
    if (auto code = m.CheckFault("FindNextFileA")) return Fail(m, *code ? *code : ERROR_NO_MORE_FILES, FALSE);
    if (search->next >= search->entries.size()) return Fail(m, ERROR_NO_MORE_FILES, FALSE);
    *data = search->entries[search->next++];
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    sim::Machine& m = Current();
    if (!m.files.CloseSearch(handle)) return Fail(m, ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
    sim::Machine& m = Current();
    if (auto code = m.CheckFault("DeleteFileA", Text(path))) return Fail(m, *code ? *code : ERROR_ACCESS_DENIED, FALSE);
    ResolvedPath resolved;
    DWORD status = ResolveTarget(m, path, &resolved);
    if (status != 0) return Fail(m, status, FALSE);
    if (resolved.names.empty()) return Fail(m, ERROR_ACCESS_DENIED, FALSE);  // a drive's root
    FileNode* node = m.files.Node(resolved);
    if (node == nullptr) return Fail(m, m.files.MissingStatus(resolved), FALSE);
    if (node->folder) return Fail(m, ERROR_ACCESS_DENIED, FALSE);
    // The open for deletion meets the other program's handle first; the
    // read-only attribute refuses the deletion itself.
    if (node->inUse) return Fail(m, ERROR_SHARING_VIOLATION, FALSE);
    if (node->attributes & FILE_ATTRIBUTE_READONLY) return Fail(m, ERROR_ACCESS_DENIED, FALSE);
    Parent(m.files, resolved)->Remove(node->name);
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
    sim::Machine& m = Current();
    if (auto code = m.CheckFault("RemoveDirectoryA", Text(path))) return Fail(m, *code ? *code : ERROR_ACCESS_DENIED, FALSE);
    ResolvedPath resolved;
    DWORD status = ResolveTarget(m, path, &resolved);
    if (status != 0) return Fail(m, status, FALSE);
    if (resolved.names.empty()) return Fail(m, ERROR_ACCESS_DENIED, FALSE);  // a drive's root
    FileNode* node = m.files.Node(resolved);
    if (node == nullptr) return Fail(m, m.files.MissingStatus(resolved), FALSE);
    if (!node->folder) return Fail(m, sim::kErrorDirectory, FALSE);
    if (node->inUse || HoldsCurrentDirectory(m, resolved)) return Fail(m, ERROR_SHARING_VIOLATION, FALSE);
    if (node->attributes & FILE_ATTRIBUTE_READONLY) return Fail(m, ERROR_ACCESS_DENIED, FALSE);
    if (!node->entries.empty()) return Fail(m, ERROR_DIR_NOT_EMPTY, FALSE);
    Parent(m.files, resolved)->Remove(node->name);
    return TRUE;
}
