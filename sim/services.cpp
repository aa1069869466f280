#include "sim/services.h"

#include "sim/registry.h"

namespace sim {

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
    return CompareKeyNames(a, b) < 0;
}

void ServiceManager::SetStartResult(std::string_view name, DWORD code) { startResults_[std::string(name)] = code; }

void ServiceManager::SetRunning(std::string_view name, bool running) {
    if (running)
        running_.insert(std::string(name));
    else
        running_.erase(std::string(name));
}

bool ServiceManager::IsRunning(std::string_view name) const { return running_.count(std::string(name)) != 0; }

bool ServiceManager::IsMarkedForDeletion(std::string_view name) const {
    return marked_.count(std::string(name)) != 0;
}

SC_HANDLE ServiceManager::AddHandle(const Handle& handle) {
    uintptr_t value = nextHandle_;
    nextHandle_ += 4;
    handles_[value] = handle;
    return reinterpret_cast<SC_HANDLE>(value);
}

ServiceManager::Handle* ServiceManager::Lookup(SC_HANDLE handle) {
    auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
    return it == handles_.end() ? nullptr : &it->second;
}

bool ServiceManager::CloseHandle(SC_HANDLE handle) { return handles_.erase(reinterpret_cast<uintptr_t>(handle)) == 1; }

size_t ServiceManager::HandlesTo(std::string_view name) const {
    size_t count = 0;
    for (auto& entry : handles_)
        if (!entry.second.manager && CompareKeyNames(entry.second.service, name) == 0) ++count;
    return count;
}

Key* ServiceManager::ServicesKey(const Registry& reg) { return reg.FindPath(kServicesPath); }

Key* ServiceManager::FindServiceKey(const Registry& reg, std::string_view name) {
    if (name.empty() || name.find('\\') != std::string_view::npos) return nullptr;
    Key* services = ServicesKey(reg);
    return services ? services->FindSubkey(name) : nullptr;
}

std::string ServiceManager::DisplayNameOf(const Key& key) {
    const Value* value = key.FindValue("DisplayName");
    if (value == nullptr || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return key.name;
    std::string text(value->data.begin(), value->data.end());
    size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    return text;
}

DWORD ServiceManager::StartResultOf(std::string_view name) const {
    auto it = startResults_.find(std::string(name));
    return it == startResults_.end() ? 0 : it->second;
}

void ServiceManager::SetMarked(std::string_view name, bool marked) {
    if (marked)
        marked_.insert(std::string(name));
    else
        marked_.erase(std::string(name));
}

unsigned ServiceManager::Creations(std::string_view name) const {
    auto it = creations_.find(std::string(name));
    return it == creations_.end() ? 0 : it->second;
}

void ServiceManager::NoteCreated(std::string_view name) { ++creations_[std::string(name)]; }

void ServiceManager::Forget(std::string_view name) {
    running_.erase(std::string(name));
    marked_.erase(std::string(name));
}

bool ServiceManager::CollectIfDeleted(Registry& reg, std::string_view name) {
    if (!IsMarkedForDeletion(name) || IsRunning(name) || HandlesTo(name) != 0) return false;
    // The manager removes the whole key, subkeys and all, whatever the
    // family's rule for RegDeleteKeyA.
    Key* key = FindServiceKey(reg, name);
    if (key != nullptr && key->parent != nullptr) key->parent->RemoveSubkey(key);
    Forget(name);
    return true;
}

}  // namespace sim
