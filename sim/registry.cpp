#include "sim/registry.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

}  // namespace

int CompareKeyNames(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = Upper(static_cast<unsigned char>(a[i]));
        unsigned char cb = Upper(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SplitRegistryPath(std::string_view path, std::vector<std::string_view>* parts) {
    parts->clear();
    if (path.empty()) return true;
    if (path.front() == '\\') return false;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end == start) return false;  // "a\\\\b": an empty name inside the path
        parts->push_back(path.substr(start, end - start));
        start = end + 1;  // a single trailing backslash ends the loop here
    }
    return true;
}

Key* Key::FindSubkey(std::string_view n) const { return FindSubkeyShared(n).get(); }

std::shared_ptr<Key> Key::FindSubkeyShared(std::string_view n) const {
    auto it = std::lower_bound(subkeys.begin(), subkeys.end(), n,
                               [](const std::shared_ptr<Key>& k, std::string_view v) {
                                   return CompareKeyNames(k->name, v) < 0;
                               });
    if (it != subkeys.end() && CompareKeyNames((*it)->name, n) == 0) return *it;
    return nullptr;
}

Key* Key::AddSubkey(std::string_view n) {
    auto it = std::lower_bound(subkeys.begin(), subkeys.end(), n,
                               [](const std::shared_ptr<Key>& k, std::string_view v) {
                                   return CompareKeyNames(k->name, v) < 0;
                               });
    if (it != subkeys.end() && CompareKeyNames((*it)->name, n) == 0) return it->get();
    auto child = std::make_shared<Key>();
    child->name = std::string(n);
    child->parent = this;
    return subkeys.insert(it, child)->get();
}

namespace {
void MarkDeleted(Key* key) {
    key->deleted = true;
    for (auto& sub : key->subkeys) MarkDeleted(sub.get());
}
}  // namespace

bool Key::RemoveSubkey(const Key* child) {
    for (auto it = subkeys.begin(); it != subkeys.end(); ++it) {
        if (it->get() == child) {
            MarkDeleted(it->get());
            (*it)->parent = nullptr;
            subkeys.erase(it);
            return true;
        }
    }
    return false;
}

Value* Key::FindValue(std::string_view n) {
    for (auto& v : values)
        if (CompareKeyNames(v.name, n) == 0) return &v;
    return nullptr;
}

const Value* Key::FindValue(std::string_view n) const {
    for (auto& v : values)
        if (CompareKeyNames(v.name, n) == 0) return &v;
    return nullptr;
}

void Key::SetValue(std::string_view n, DWORD type, const void* data, size_t size) {
    Value* v = FindValue(n);
    if (v == nullptr) {
        values.push_back(Value{std::string(n), type, {}});
        v = &values.back();
    }
    v->type = type;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    v->data.assign(bytes, bytes + size);
}

bool Key::RemoveValue(std::string_view n) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (CompareKeyNames(it->name, n) == 0) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

std::shared_ptr<Key> Key::Clone(Key* newParent) const {
    auto copy = std::make_shared<Key>();
    copy->name = name;
    copy->parent = newParent;
    copy->values = values;
    copy->restricted = restricted;
    copy->deleted = deleted;
    for (auto& sub : subkeys) copy->subkeys.push_back(sub->Clone(copy.get()));
    return copy;
}

Registry::Registry() {
    localMachine = std::make_shared<Key>();
    localMachine->name = "HKEY_LOCAL_MACHINE";
    currentUser = std::make_shared<Key>();
    currentUser->name = "HKEY_CURRENT_USER";
    users = std::make_shared<Key>();
    users->name = "HKEY_USERS";
    localMachine->AddSubkey("SOFTWARE")->AddSubkey("Classes");
    BindRoots();
}

Registry::Registry(const Registry& other) { *this = other; }

Registry& Registry::operator=(const Registry& other) {
    if (this == &other) return *this;
    localMachine = other.localMachine->Clone(nullptr);
    currentUser = other.currentUser->Clone(nullptr);
    users = other.users->Clone(nullptr);
    handles_.clear();  // handles belong to the machine they were opened on
    nextHandle_ = other.nextHandle_;
    flushCount = other.flushCount;
    BindRoots();
    return *this;
}

void Registry::BindRoots() {
    rootSlots_[1] = OpenKey{currentUser, true};
    rootSlots_[2] = OpenKey{localMachine, true};
    rootSlots_[3] = OpenKey{users, true};
}

Key* Registry::ClassesRoot() const {
    Key* software = localMachine->FindSubkey("SOFTWARE");
    return software ? software->FindSubkey("Classes") : nullptr;
}

Key* Registry::RootByName(std::string_view n) const {
    if (CompareKeyNames(n, "HKEY_LOCAL_MACHINE") == 0 || CompareKeyNames(n, "HKLM") == 0) return localMachine.get();
    if (CompareKeyNames(n, "HKEY_CURRENT_USER") == 0 || CompareKeyNames(n, "HKCU") == 0) return currentUser.get();
    if (CompareKeyNames(n, "HKEY_USERS") == 0 || CompareKeyNames(n, "HKU") == 0) return users.get();
    if (CompareKeyNames(n, "HKEY_CLASSES_ROOT") == 0 || CompareKeyNames(n, "HKCR") == 0) return ClassesRoot();
    return nullptr;
}

namespace {
std::string_view RootPart(std::string_view full, std::string_view* rest) {
    size_t slash = full.find('\\');
    if (slash == std::string_view::npos) {
        *rest = {};
        return full;
    }
    *rest = full.substr(slash + 1);
    return full.substr(0, slash);
}
}  // namespace

Key* Registry::FindPath(std::string_view fullPath) const {
    std::string_view rest;
    Key* key = RootByName(RootPart(fullPath, &rest));
    std::vector<std::string_view> parts;
    if (key == nullptr || !SplitRegistryPath(rest, &parts)) return nullptr;
    for (auto part : parts) {
        key = key->FindSubkey(part);
        if (key == nullptr) return nullptr;
    }
    return key;
}

Key* Registry::CreatePath(std::string_view fullPath) {
    std::string_view rest;
    std::string_view root = RootPart(fullPath, &rest);
    if (CompareKeyNames(root, "HKEY_CLASSES_ROOT") == 0 || CompareKeyNames(root, "HKCR") == 0)
        localMachine->AddSubkey("SOFTWARE")->AddSubkey("Classes");
    Key* key = RootByName(root);
    std::vector<std::string_view> parts;
    if (key == nullptr || !SplitRegistryPath(rest, &parts)) return nullptr;
    for (auto part : parts) key = key->AddSubkey(part);
    return key;
}

std::string Registry::PathOf(const Key* key) const {
    std::vector<const Key*> chain;
    for (const Key* k = key; k != nullptr; k = k->parent) chain.push_back(k);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty()) path += '\\';
        path += (*it)->name;
    }
    return path;
}

HKEY Registry::AddHandle(std::shared_ptr<Key> key, bool fullAccess) {
    uintptr_t value = nextHandle_;
    nextHandle_ += 4;
    handles_[value] = OpenKey{std::move(key), fullAccess};
    return reinterpret_cast<HKEY>(value);
}

Registry::OpenKey* Registry::Lookup(HKEY handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value >= 0x80000000u && value <= 0x80000003u) {
        if (value == 0x80000000u) {
            Key* software = localMachine->FindSubkey("SOFTWARE");
            std::shared_ptr<Key> classes = software ? software->FindSubkeyShared("Classes") : nullptr;
            if (!classes) return nullptr;
            rootSlots_[0] = OpenKey{classes, true};
        }
        return &rootSlots_[value - 0x80000000u];
    }
    auto it = handles_.find(value);
    return it == handles_.end() ? nullptr : &it->second;
}

bool Registry::CloseHandle(HKEY handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value >= 0x80000000u && value <= 0x80000003u) return true;
    return handles_.erase(value) == 1;
}

}  // namespace sim
