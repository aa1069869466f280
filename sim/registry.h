// The simulated registry: plain data, keys with case-preserving names kept
// in Windows' sorted order (letter case ignored), typed values, and a handle
// table that counts what is open.
#ifndef PX714SUP_SIM_REGISTRY_H
#define PX714SUP_SIM_REGISTRY_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"

namespace sim {

struct Value {
    std::string name;            // "" is the key's unnamed default value
    DWORD type = REG_SZ;         // REG_* type
    std::vector<uint8_t> data;   // raw bytes, as RegSetValueExA stored them
};

struct Key {
    std::string name;                          // as created, case preserved
    Key* parent = nullptr;                     // null for a root
    std::vector<std::shared_ptr<Key>> subkeys; // sorted, letter case ignored
    std::vector<Value> values;                 // in creation order
    bool restricted = false;                   // NT: readable, no full access, no deletion
    bool deleted = false;                      // gone; open handles to it go stale

    Key* FindSubkey(std::string_view name) const;
    std::shared_ptr<Key> FindSubkeyShared(std::string_view name) const;
    // Returns the subkey, creating it in sorted position when missing.
    Key* AddSubkey(std::string_view name);
    bool RemoveSubkey(const Key* child);     // marks the subtree deleted
    Value* FindValue(std::string_view name);
    const Value* FindValue(std::string_view name) const;
    void SetValue(std::string_view name, DWORD type, const void* data, size_t size);
    bool RemoveValue(std::string_view name);
    std::shared_ptr<Key> Clone(Key* newParent) const;  // deep copy
};

// Letter-case-insensitive order of key names, as RegEnumKeyExA returns them.
int CompareKeyNames(std::string_view a, std::string_view b);

// Splits a registry path at backslashes. A trailing backslash is accepted;
// a leading one, or an empty name inside the path, makes the path invalid.
bool SplitRegistryPath(std::string_view path, std::vector<std::string_view>* parts);

class Registry {
public:
    Registry();
    Registry(const Registry& other);
    Registry& operator=(const Registry& other);

    // Roots. HKEY_CLASSES_ROOT is a view of HKLM\SOFTWARE\Classes.
    std::shared_ptr<Key> localMachine;
    std::shared_ptr<Key> currentUser;
    std::shared_ptr<Key> users;
    Key* ClassesRoot() const;

    // "HKEY_LOCAL_MACHINE" / "HKLM" ... to the root key; null when unknown.
    Key* RootByName(std::string_view name) const;
    // A full path with a root name ("HKLM\\SOFTWARE\\X"); null when missing.
    Key* FindPath(std::string_view fullPath) const;
    // The same, creating missing keys; null for an unknown root or bad path.
    Key* CreatePath(std::string_view fullPath);
    // The full path of a key, with the long root name.
    std::string PathOf(const Key* key) const;

    // Handle table.
    struct OpenKey {
        std::shared_ptr<Key> key;  // kept alive while open, even when deleted
        bool fullAccess = true;    // false: opened for reading only
    };
    HKEY AddHandle(std::shared_ptr<Key> key, bool fullAccess);
    // The open key of a handle or predefined root; null when invalid.
    OpenKey* Lookup(HKEY handle);
    bool CloseHandle(HKEY handle);
    size_t OpenHandles() const { return handles_.size(); }
    int flushCount = 0;  // RegFlushKey calls

private:
    std::map<uintptr_t, OpenKey> handles_;
    uintptr_t nextHandle_ = 0x1000;
    OpenKey rootSlots_[4];  // HKCR, HKCU, HKLM, HKU as open keys
    void BindRoots();
};

}  // namespace sim

#endif  // PX714SUP_SIM_REGISTRY_H
