#include "fuzz/changes.h"

#include <cstdio>
#include <set>

namespace px714check {

namespace {

std::string JoinPath(const std::vector<std::string>& path) {
    std::string text;
    for (const std::string& part : path) {
        if (!text.empty()) text += '\\';
        text += part;
    }
    return text;
}

std::string Printable(const std::vector<uint8_t>& data) {
    std::string out;
    for (uint8_t byte : data) {
        if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        }
    }
    return out;
}

void AllKeys(const sim::Key& key, std::vector<std::string>& path, Change::Kind kind, std::vector<Change>* out) {
    out->push_back(Change{kind, path, "", false, 0, {}});
    for (const auto& sub : key.subkeys) {
        path.push_back(sub->name);
        AllKeys(*sub, path, kind, out);
        path.pop_back();
    }
}

bool SameValue(const sim::Value& a, const sim::Value& b) { return a.type == b.type && a.data == b.data; }

void DiffKeys(const sim::Key& before, const sim::Key& after, std::vector<std::string>& path, std::vector<Change>* out) {
    if (before.restricted != after.restricted) out->push_back(Change{Change::KeyFlagsChanged, path, "", false, 0, {}});
    for (const sim::Value& v : before.values) {
        const sim::Value* now = after.FindValue(v.name);
        if (now == nullptr)
            out->push_back(Change{Change::ValueRemoved, path, v.name, false, 0, {}});
        else if (!SameValue(v, *now))
            out->push_back(Change{Change::ValueChanged, path, v.name, false, now->type, now->data});
    }
    for (const sim::Value& v : after.values)
        if (before.FindValue(v.name) == nullptr) out->push_back(Change{Change::ValueAdded, path, v.name, false, v.type, v.data});
    for (const auto& sub : before.subkeys) {
        path.push_back(sub->name);
        if (const sim::Key* now = after.FindSubkey(sub->name))
            DiffKeys(*sub, *now, path, out);
        else
            AllKeys(*sub, path, Change::KeyRemoved, out);
        path.pop_back();
    }
    for (const auto& sub : after.subkeys) {
        if (before.FindSubkey(sub->name) != nullptr) continue;
        path.push_back(sub->name);
        AllKeys(*sub, path, Change::KeyAdded, out);
        path.pop_back();
    }
}

void AllEntries(const sim::FileNode& node, std::vector<std::string>& path, Change::Kind kind, std::vector<Change>* out) {
    out->push_back(Change{kind, path, "", node.folder, 0, {}});
    for (const sim::FileNode& entry : node.entries) {
        path.push_back(entry.name);
        AllEntries(entry, path, kind, out);
        path.pop_back();
    }
}

void DiffFolders(const sim::FileNode& before, const sim::FileNode& after, std::vector<std::string>& path,
                 std::vector<Change>* out) {
    for (const sim::FileNode& entry : before.entries) {
        path.push_back(entry.name);
        const sim::FileNode* now = after.Find(entry.name);
        if (now == nullptr) {
            AllEntries(entry, path, Change::FileRemoved, out);
        } else {
            if (now->folder != entry.folder || now->attributes != entry.attributes || now->inUse != entry.inUse ||
                now->size != entry.size)
                out->push_back(Change{Change::FileChanged, path, "", entry.folder, 0, {}});
            if (now->folder && entry.folder) DiffFolders(entry, *now, path, out);
        }
        path.pop_back();
    }
    for (const sim::FileNode& entry : after.entries) {
        if (before.Find(entry.name) != nullptr) continue;
        path.push_back(entry.name);
        AllEntries(entry, path, Change::FileAdded, out);
        path.pop_back();
    }
}

void ServiceNames(const sim::Machine& m, std::set<std::string, sim::NoCaseLess>* names) {
    if (const sim::Key* services = sim::ServiceManager::ServicesKey(m.registry))
        for (const auto& sub : services->subkeys) names->insert(sub->name);
}

bool SameCopy(const sim::InfCopy& a, const sim::InfCopy& b) {
    return a.originalName == b.originalName && a.text == b.text && a.mediaLocation == b.mediaLocation &&
           a.mediaType == b.mediaType;
}

}  // namespace

bool SameName(const std::string& a, const std::string& b) { return sim::CompareKeyNames(a, b) == 0; }

bool AtOrBelow(const std::vector<std::string>& path, const std::vector<std::string>& base) {
    if (path.size() < base.size()) return false;
    for (size_t i = 0; i < base.size(); ++i)
        if (!SameName(path[i], base[i])) return false;
    return true;
}

bool SplitKeyPath(const std::string& fullPath, std::vector<std::string>* parts) {
    parts->clear();
    size_t slash = fullPath.find('\\');
    std::string root = fullPath.substr(0, slash);
    std::string rest = slash == std::string::npos ? std::string() : fullPath.substr(slash + 1);
    if (SameName(root, "HKLM") || SameName(root, "HKEY_LOCAL_MACHINE")) {
        parts->push_back("HKEY_LOCAL_MACHINE");
    } else if (SameName(root, "HKCU") || SameName(root, "HKEY_CURRENT_USER")) {
        parts->push_back("HKEY_CURRENT_USER");
    } else if (SameName(root, "HKU") || SameName(root, "HKEY_USERS")) {
        parts->push_back("HKEY_USERS");
    } else if (SameName(root, "HKCR") || SameName(root, "HKEY_CLASSES_ROOT")) {
        // A view of the machine's SOFTWARE\Classes.
        *parts = {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Classes"};
    } else {
        return false;
    }
    std::vector<std::string_view> names;
    if (!sim::SplitRegistryPath(rest, &names)) return false;
    for (std::string_view name : names) parts->emplace_back(name);
    return true;
}

std::string Change::Describe() const {
    static const char* const kKinds[] = {"key added",   "key removed",    "key restriction changed",
                                         "value added", "value removed",  "value changed",
                                         "file added",  "file removed",   "file changed",
                                         "service state changed", "INF copy added", "INF copy removed",
                                         "INF copy changed"};
    std::string text = kKinds[kind];
    text += ": ";
    text += JoinPath(path);
    if (!name.empty() || kind == ValueAdded || kind == ValueRemoved || kind == ValueChanged) {
        text += path.empty() ? "" : " ";
        text += "\"" + name + "\"";
    }
    if (kind == ValueAdded || kind == ValueChanged) {
        char type[24];
        std::snprintf(type, sizeof type, " = type %u: ", static_cast<unsigned>(newType));
        text += type + Printable(newData);
    }
    if (folder) text += " (folder)";
    return text;
}

std::vector<Change> Diff(const sim::Machine& before, const sim::Machine& after,
                         const std::vector<std::string>& extraServiceNames) {
    std::vector<Change> out;
    std::vector<std::string> path;
    const std::pair<const sim::Key*, const sim::Key*> roots[] = {
        {before.registry.localMachine.get(), after.registry.localMachine.get()},
        {before.registry.currentUser.get(), after.registry.currentUser.get()},
        {before.registry.users.get(), after.registry.users.get()},
    };
    for (const auto& [b, a] : roots) {
        path = {b->name};
        DiffKeys(*b, *a, path, &out);
    }

    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        std::string drive = std::string(1, letter) + ":";
        sim::ResolvedPath root;
        root.drive = letter;
        // Node only looks: the drive's root, or null.
        const sim::FileNode* b = const_cast<sim::FileSystem&>(before.files).Node(root);
        const sim::FileNode* a = const_cast<sim::FileSystem&>(after.files).Node(root);
        path = {drive};
        if (b != nullptr && a != nullptr)
            DiffFolders(*b, *a, path, &out);
        else if (b != nullptr)
            AllEntries(*b, path, Change::FileRemoved, &out);
        else if (a != nullptr)
            AllEntries(*a, path, Change::FileAdded, &out);
    }

    std::set<std::string, sim::NoCaseLess> names(extraServiceNames.begin(), extraServiceNames.end());
    ServiceNames(before, &names);
    ServiceNames(after, &names);
    for (const std::string& name : names) {
        if (before.services.IsRunning(name) != after.services.IsRunning(name) ||
            before.services.IsMarkedForDeletion(name) != after.services.IsMarkedForDeletion(name))
            out.push_back(Change{Change::ServiceStateChanged, {}, name, false, 0, {}});
    }

    for (const sim::InfCopy& copy : before.infs.copies) {
        const sim::InfCopy* now = after.infs.FindCopy(copy.name);
        if (now == nullptr)
            out.push_back(Change{Change::InfCopyRemoved, {}, copy.name, false, 0, {}});
        else if (!SameCopy(copy, *now))
            out.push_back(Change{Change::InfCopyChanged, {}, copy.name, false, 0, {}});
    }
    for (const sim::InfCopy& copy : after.infs.copies)
        if (before.infs.FindCopy(copy.name) == nullptr)
            out.push_back(Change{Change::InfCopyAdded, {}, copy.name, false, 0, {}});
    return out;
}

}  // namespace px714check
