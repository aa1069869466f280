#include "tools/hostfiles.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>

#include "sim/registry.h"

namespace px714tool {

namespace {

void Count(const sim::FileNode& node, FileCensus* census) {
    for (const sim::FileNode& entry : node.entries) {
        if (entry.attributes & FILE_ATTRIBUTE_READONLY) ++census->readOnly;
        if (entry.folder) {
            ++census->folders;
            Count(entry, census);
        } else {
            ++census->files;
            if (entry.text) ++census->texts;
        }
    }
}

// The names of a host folder, "." and ".." left out, sorted so that
// messages and notes come out the same on every run.
bool ReadFolder(const std::string& path, std::vector<std::string>* names, std::string* error) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    errno = 0;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names->push_back(name);
    }
    int readError = errno;
    closedir(dir);
    if (readError != 0) {
        *error = "cannot read " + path + ": " + std::strerror(readError);
        return false;
    }
    std::sort(names->begin(), names->end());
    return true;
}

// Why a name (in the code page) cannot be a Windows file name; "" when it can.
std::string NameFault(const std::string& name, unsigned codePage) {
    if (name.size() > 255) return "it is longer than 255 characters";
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (sim::IsLeadByteIn(codePage, c) && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if (c < 0x20) return "it holds a control character";
        if (std::strchr("<>:\"/\\|?*", c) != nullptr) return std::string("it holds '") + static_cast<char>(c) + "'";
    }
    if (name.back() == '.' || name.back() == ' ') return "it ends in a dot or a blank, which Windows drops";
    return std::string();
}

bool EndsWithInf(const std::string& name) {
    return name.size() > 4 && sim::CompareKeyNames(std::string_view(name).substr(name.size() - 4), ".inf") == 0;
}

class Loader {
public:
    Loader(const sim::CodePage& codePage, std::vector<std::string>* notes, std::string* error)
        : codePage_(codePage), notes_(notes), error_(error) {}

    // Loads the host folder path into folder, every level below it.
    bool Walk(const std::string& path, sim::FileNode* folder) {
        std::vector<std::string> names;
        if (!ReadFolder(path, &names, error_)) return false;
        for (const std::string& hostName : names) {
            std::string hostPath = path + "/" + hostName;
            struct stat info;
            if (stat(hostPath.c_str(), &info) != 0) {
                *error_ = "cannot read " + hostPath + ": " + std::strerror(errno);
                return false;
            }
            bool isFolder = S_ISDIR(info.st_mode);
            if (!isFolder && !S_ISREG(info.st_mode)) {
                ++passedOver_;
                continue;
            }
            std::string name;
            if (!codePage_.FromUtf8(hostName, &name)) {
                *error_ = hostPath + ": the name is not UTF-8 or holds a character code page " +
                          std::to_string(codePage_.number()) + " cannot hold";
                return false;
            }
            std::string fault = NameFault(name, codePage_.number());
            if (!fault.empty()) {
                *error_ = hostPath + ": not a Windows file name: " + fault;
                return false;
            }
            if (const sim::FileNode* other = folder->Find(name)) {
                *error_ = hostPath + ": '" + codePage_.ToUtf8(other->name) +
                          "' is there too; names that differ only in letter case are one name on Windows";
                return false;
            }
            sim::FileNode* node = folder->Add(name, isFolder);
            if (isFolder) {
                std::pair<dev_t, ino_t> id(info.st_dev, info.st_ino);
                if (!above_.insert(id).second) {
                    *error_ = hostPath + ": a link back to a folder above it";
                    return false;
                }
                bool ok = Walk(hostPath, node);
                above_.erase(id);
                if (!ok) return false;
                continue;
            }
            // The read-only attribute of a copy: no one may write the file.
            if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) node->attributes |= FILE_ATTRIBUTE_READONLY;
            node->size = static_cast<DWORD>(std::min<off_t>(info.st_size, 0xFFFFFFFF));
            if (EndsWithInf(name)) {
                if (static_cast<size_t>(info.st_size) > kMaxInfText) {
                    notes_->push_back(hostPath + ": larger than " + std::to_string(kMaxInfText >> 20) +
                                      " MiB; its text is not taken, so it reads as empty");
                    continue;
                }
                std::ifstream in(hostPath, std::ios::binary);
                std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                if (in.bad()) {
                    *error_ = "cannot read " + hostPath;
                    return false;
                }
                node->text = std::move(text);
            }
        }
        return true;
    }

    // The drive folders themselves, as Walk entered them.
    void Enter(const struct stat& info) { above_.insert({info.st_dev, info.st_ino}); }
    void Leave(const struct stat& info) { above_.erase({info.st_dev, info.st_ino}); }
    size_t passedOver() const { return passedOver_; }

private:
    const sim::CodePage& codePage_;
    std::vector<std::string>* notes_;
    std::string* error_;
    std::set<std::pair<dev_t, ino_t>> above_;  // the folders being walked, by device and inode
    size_t passedOver_ = 0;
};

}  // namespace

FileCensus CountFiles(const sim::FileSystem& files) {
    FileCensus census;
    for (const auto& drive : files.Drives()) {
        ++census.drives;
        Count(drive.second, &census);
    }
    return census;
}

bool LoadHostFolder(const std::string& dir, const sim::CodePage& codePage, sim::FileSystem* files,
                    std::vector<std::string>* notes, std::string* error) {
    const char* layout = "--files DIR holds one folder per drive, named by its letter: DIR/C/WINDOWS ..., DIR/D/...";
    std::vector<std::string> names;
    if (!ReadFolder(dir, &names, error)) return false;
    std::vector<std::pair<char, std::string>> drives;
    for (const std::string& name : names) {
        std::string path = dir + "/" + name;
        struct stat info;
        bool isFolder = stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        bool letter = name.size() == 1 && std::isalpha(static_cast<unsigned char>(name[0]));
        if (!isFolder || !letter) {
            *error = path + ": not a drive folder; " + layout;
            return false;
        }
        char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        for (auto& drive : drives) {
            if (drive.first == upper) {
                *error = path + ": drive " + upper + ": is there twice (" + drive.second + ")";
                return false;
            }
        }
        drives.emplace_back(upper, path);
    }
    if (drives.empty()) {
        *error = dir + ": no drive folder in it; " + layout;
        return false;
    }
    Loader loader(codePage, notes, error);
    for (auto& [letter, path] : drives) {
        files->AddDrive(letter);
        sim::FileNode* root = files->Lookup(std::string(1, letter) + ":\\");
        struct stat info;
        if (stat(path.c_str(), &info) != 0) {
            *error = "cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
        loader.Enter(info);
        bool ok = loader.Walk(path, root);
        loader.Leave(info);
        if (!ok) return false;
    }
    if (loader.passedOver() != 0)
        notes->push_back(dir + ": " + std::to_string(loader.passedOver()) +
                         " entries that are neither files nor folders (devices, pipes, sockets) passed over");
    return true;
}

}  // namespace px714tool
