#include "sim/filesystem.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "sim/registry.h"

namespace sim {

namespace {

unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Characters no Win32 file name may hold (wildcards are judged apart).
bool IsInvalidNameChar(unsigned char c) {
    return c < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|';
}

// Splits at backslashes, a double-byte character counting as one unit so
// that a trail byte of 0x5C is not taken for a separator.
std::vector<std::string> SplitNames(std::string_view text, UINT codePage) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsLeadByteIn(codePage, c) && i + 1 < text.size()) {
            parts.back() += text[i];
            parts.back() += text[++i];
        } else if (c == '\\') {
            parts.emplace_back();
        } else {
            parts.back() += text[i];
        }
    }
    return parts;
}

const char* kAttributeWords[] = {"readonly", "hidden", "system", "in-use"};

std::string AttributeSuffix(const FileNode& node) {
    std::string out;
    if (node.attributes & FILE_ATTRIBUTE_READONLY) out += " readonly";
    if (node.attributes & FILE_ATTRIBUTE_HIDDEN) out += " hidden";
    if (node.attributes & FILE_ATTRIBUTE_SYSTEM) out += " system";
    if (node.inUse) out += " in-use";
    return out;
}

void ListNode(const FileNode& node, const std::string& path, std::string& out) {
    if (!node.folder) {
        out += path + AttributeSuffix(node) + "\n";
        return;
    }
    if (node.entries.empty()) {
        out += path + "\\" + AttributeSuffix(node) + "\n";
        return;
    }
    for (const FileNode& entry : node.entries) ListNode(entry, path + "\\" + entry.name, out);
}

}  // namespace

bool IsLeadByteIn(UINT codePage, unsigned char c) {
    switch (codePage) {
    case 932:  // Shift-JIS
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:  // GBK
    case 949:  // Unified Hangul
    case 950:  // Big5
        return c >= 0x81 && c <= 0xFE;
    default:
        return false;
    }
}

std::string DefaultWindowsDirectory(DWORD platform, DWORD major, DWORD minor) {
    bool winnt = platform == VER_PLATFORM_WIN32_NT && (major == 4 || (major == 5 && minor == 0));
    return winnt ? "C:\\WINNT" : "C:\\WINDOWS";
}

std::string ResolvedPath::Text() const {
    std::string out(1, drive);
    out += ":\\";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += '\\';
        out += names[i];
    }
    return out;
}

FileNode* FileNode::Find(std::string_view entryName) {
    return const_cast<FileNode*>(static_cast<const FileNode*>(this)->Find(entryName));
}

const FileNode* FileNode::Find(std::string_view entryName) const {
    auto it = std::lower_bound(entries.begin(), entries.end(), entryName,
                               [](const FileNode& n, std::string_view v) { return CompareKeyNames(n.name, v) < 0; });
    if (it != entries.end() && CompareKeyNames(it->name, entryName) == 0) return &*it;
    return nullptr;
}

FileNode* FileNode::Add(std::string_view entryName, bool isFolder) {
    auto it = std::lower_bound(entries.begin(), entries.end(), entryName,
                               [](const FileNode& n, std::string_view v) { return CompareKeyNames(n.name, v) < 0; });
    if (it != entries.end() && CompareKeyNames(it->name, entryName) == 0) return &*it;
    FileNode node;
    node.name = std::string(entryName);
    node.folder = isFolder;
    return &*entries.insert(it, std::move(node));
}

bool FileNode::Remove(std::string_view entryName) {
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (CompareKeyNames(it->name, entryName) == 0) {
            entries.erase(it);
            return true;
        }
    }
    return false;
}

FileSystem::FileSystem() { AddDrive('C'); }

void FileSystem::AddDrive(char letter) {
    char upper = static_cast<char>(Upper(static_cast<unsigned char>(letter)));
    FileNode& root = drives_[upper];
    root.folder = true;
    root.name = std::string(1, upper) + ":";
}

DWORD FileSystem::Resolve(std::string_view path, UINT codePage, ResolvedPath* out) const {
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    std::string text(path);
    std::replace(text.begin(), text.end(), '/', '\\');  // never a trail byte
    if (text.size() >= 2 && text[0] == '\\' && text[1] == '\\') return kErrorBadNetPath;

    ResolvedPath current;
    if (currentDirectory.size() >= 3 && currentDirectory[1] == ':') {
        current.drive = static_cast<char>(Upper(static_cast<unsigned char>(currentDirectory[0])));
        for (auto& name : SplitNames(std::string_view(currentDirectory).substr(3), codePage))
            if (!name.empty()) current.names.push_back(name);
    }

    ResolvedPath result;
    std::string_view rest = text;
    unsigned char first = static_cast<unsigned char>(text[0]);
    if (text.size() >= 2 && text[1] == ':' && ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'))) {
        result.drive = static_cast<char>(Upper(first));
        rest = rest.substr(2);
        // "X:name" goes on from the current directory when X is its drive.
        if (!rest.empty() && rest[0] != '\\' && result.drive == current.drive) result.names = current.names;
        if (rest.empty() && result.drive == current.drive) result.names = current.names;
    } else if (text[0] == '\\') {
        result.drive = current.drive;
    } else {
        result = current;
    }

    std::vector<std::string> raw = SplitNames(rest, codePage);
    // The last name loses its trailing dots and blanks, as Windows drops them.
    std::string& last = raw.back();
    if (last != "." && last != "..")
        while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
    size_t lastNonEmpty = 0;
    for (size_t i = 0; i < raw.size(); ++i)
        if (!raw[i].empty()) lastNonEmpty = i;

    for (size_t i = 0; i < raw.size(); ++i) {
        const std::string& name = raw[i];
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!result.names.empty()) result.names.pop_back();
            continue;
        }
        if (name.size() > 255) return ERROR_INVALID_NAME;
        for (size_t j = 0; j < name.size(); ++j) {
            unsigned char c = static_cast<unsigned char>(name[j]);
            if (IsLeadByteIn(codePage, c) && j + 1 < name.size()) {
                ++j;
                continue;
            }
            if (IsInvalidNameChar(c)) return ERROR_INVALID_NAME;
            if ((c == '*' || c == '?') && i != lastNonEmpty) return ERROR_INVALID_NAME;
        }
        result.names.push_back(name);
    }
    *out = result;
    return 0;
}

FileNode* FileSystem::Node(const ResolvedPath& path) {
    auto drive = drives_.find(path.drive);
    if (drive == drives_.end()) return nullptr;
    FileNode* node = &drive->second;
    for (const std::string& name : path.names) {
        if (!node->folder) return nullptr;
        node = node->Find(name);
        if (node == nullptr) return nullptr;
    }
    return node;
}

DWORD FileSystem::MissingStatus(const ResolvedPath& path) {
    auto drive = drives_.find(path.drive);
    if (drive == drives_.end()) return ERROR_PATH_NOT_FOUND;
    FileNode* node = &drive->second;
    for (size_t i = 0; i + 1 < path.names.size(); ++i) {
        node = node->Find(path.names[i]);
        if (node == nullptr || !node->folder) return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_FILE_NOT_FOUND;
}

namespace {

// A full path for the building helpers: "X:\\...", no wildcards.
ResolvedPath FullPath(const FileSystem& fs, std::string_view path) {
    ResolvedPath resolved;
    bool full = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
    if (!full || fs.Resolve(path, 1252, &resolved) != 0 ||
        path.find_first_of("*?") != std::string_view::npos)
        throw std::invalid_argument("not a full file path: " + std::string(path));
    return resolved;
}

}  // namespace

void FileSystem::AddFolder(std::string_view path, DWORD attributes) {
    ResolvedPath resolved = FullPath(*this, path);
    if (drives_.find(resolved.drive) == drives_.end()) AddDrive(resolved.drive);
    FileNode* node = &drives_[resolved.drive];
    for (const std::string& name : resolved.names) {
        node = node->Add(name, true);
        if (!node->folder) throw std::invalid_argument("a file is in the way: " + std::string(path));
    }
    if (!resolved.names.empty()) node->attributes = attributes;
}

void FileSystem::AddFile(std::string_view path, DWORD attributes, bool inUse) {
    ResolvedPath resolved = FullPath(*this, path);
    if (resolved.names.empty()) throw std::invalid_argument("a drive is not a file: " + std::string(path));
    std::string name = resolved.names.back();
    resolved.names.pop_back();
    // The folders by their resolved names: spelt out again as a path, an
    // inner name that ends in a dot or blank would lose it (Windows trims
    // only the last name of a path).
    if (drives_.find(resolved.drive) == drives_.end()) AddDrive(resolved.drive);
    FileNode* folder = &drives_[resolved.drive];
    for (const std::string& folderName : resolved.names) {
        folder = folder->Add(folderName, true);
        if (!folder->folder) throw std::invalid_argument("a file is in the way: " + std::string(path));
    }
    FileNode* file = folder->Add(name, false);
    if (file->folder) throw std::invalid_argument("a folder is in the way: " + std::string(path));
    file->attributes = attributes;
    file->inUse = inUse;
}

void FileSystem::SetFileText(std::string_view path, std::string_view text) {
    ResolvedPath resolved = FullPath(*this, path);
    FileNode* file = Node(resolved);
    if (file == nullptr) {
        AddFile(path);
        file = Node(resolved);
    }
    if (file->folder) throw std::invalid_argument("a folder is in the way: " + std::string(path));
    file->text = std::string(text);
    file->size = static_cast<DWORD>(text.size());
}

void FileSystem::Load(std::string_view text) {
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(pos, end - pos));
        pos = end + 1;
        while (!line.empty() && IsBlank(line.back())) line.pop_back();
        size_t start = 0;
        while (start < line.size() && IsBlank(line[start])) ++start;
        line = line.substr(start);
        if (line.empty() || line[0] == ';') continue;

        DWORD attributes = 0;
        bool inUse = false;
        for (;;) {
            size_t space = line.find_last_of(" \t");
            if (space == std::string::npos) break;
            std::string word = line.substr(space + 1);
            int which = -1;
            for (int i = 0; i < 4; ++i)
                if (word == kAttributeWords[i]) which = i;
            if (which < 0) break;
            if (which == 0) attributes |= FILE_ATTRIBUTE_READONLY;
            if (which == 1) attributes |= FILE_ATTRIBUTE_HIDDEN;
            if (which == 2) attributes |= FILE_ATTRIBUTE_SYSTEM;
            if (which == 3) inUse = true;
            line.erase(space);
            while (!line.empty() && IsBlank(line.back())) line.pop_back();
        }
        if (!line.empty() && line.back() == '\\') {
            AddFolder(line, attributes);
            if (inUse) Lookup(line)->inUse = true;
        } else {
            AddFile(line, attributes, inUse);
        }
        if (end == text.size()) break;
    }
}

std::string FileSystem::Listing(std::string_view path) const {
    std::string out;
    if (path.empty()) {
        for (auto& [letter, root] : drives_)
            for (const FileNode& entry : root.entries) ListNode(entry, std::string(1, letter) + ":\\" + entry.name, out);
        return out;
    }
    ResolvedPath resolved;
    if (Resolve(path, 1252, &resolved) != 0) return out;
    auto drive = drives_.find(resolved.drive);
    if (drive == drives_.end()) return out;
    // The names as stored, whatever the spelling of the path.
    const FileNode* node = &drive->second;
    std::string shown(1, resolved.drive);
    shown += ":";
    for (const std::string& name : resolved.names) {
        node = node->folder ? node->Find(name) : nullptr;
        if (node == nullptr) return out;
        shown += "\\" + node->name;
    }
    if (resolved.names.empty()) {
        for (const FileNode& entry : node->entries) ListNode(entry, shown + "\\" + entry.name, out);
        return out;
    }
    ListNode(*node, shown, out);
    return out;
}

bool FileSystem::Exists(std::string_view path) const { return Lookup(path) != nullptr; }

FileNode* FileSystem::Lookup(std::string_view path) {
    ResolvedPath resolved;
    if (Resolve(path, 1252, &resolved) != 0) return nullptr;
    return Node(resolved);
}

const FileNode* FileSystem::Lookup(std::string_view path) const {
    return const_cast<FileSystem*>(this)->Lookup(path);
}

HANDLE FileSystem::AddSearch(Search search) {
    uintptr_t value = nextSearch_;
    nextSearch_ += 4;
    searches_[value] = std::move(search);
    return reinterpret_cast<HANDLE>(value);
}

FileSystem::Search* FileSystem::FindSearch(HANDLE handle) {
    auto it = searches_.find(reinterpret_cast<uintptr_t>(handle));
    return it == searches_.end() ? nullptr : &it->second;
}

bool FileSystem::CloseSearch(HANDLE handle) { return searches_.erase(reinterpret_cast<uintptr_t>(handle)) == 1; }

}  // namespace sim
