// The registry functions of platform/win32.h over the current machine.
//
// Reg* functions return their status and leave the last error alone. The
// family rule lives in RegDeleteKeyA: 95/98/Me delete a key with its
// subkeys, NT can only delete a key that has no subkeys.
#include <cstring>

#include "sim/machine.h"

using sim::Current;
using sim::Key;
using sim::Registry;

namespace {

std::string_view Text(LPCSTR s) { return s ? std::string_view(s) : std::string_view(); }

// Walks a relative path from an open key. Returns the status the walk ends
// with and the key found.
LONG Walk(Key* from, LPCSTR subKey, std::shared_ptr<Key>* found) {
    std::vector<std::string_view> parts;
    if (!sim::SplitRegistryPath(Text(subKey), &parts)) return ERROR_BAD_PATHNAME;
    std::shared_ptr<Key> key;
    Key* at = from;
    for (auto part : parts) {
        key = at->FindSubkeyShared(part);
        if (!key) return ERROR_FILE_NOT_FOUND;
        at = key.get();
    }
    *found = key;  // null when the path is empty: the caller's own key
    return ERROR_SUCCESS;
}

// Rights beyond reading: what a restricted key refuses on NT.
bool WantsMoreThanRead(REGSAM access) {
    const REGSAM readRights = KEY_READ | MAXIMUM_ALLOWED | 0x00020000 /* READ_CONTROL */;
    return (access & ~readRights) != 0;
}

LONG OpenCommon(HKEY hkey, LPCSTR subKey, REGSAM access, bool maximumAllowed, PHKEY result, const char* op) {
    sim::Machine& m = Current();
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    if (auto code = m.CheckFault(op, Text(subKey))) {
        *result = nullptr;
        return static_cast<LONG>(*code);
    }
    Registry::OpenKey* parent = m.registry.Lookup(hkey);
    if (parent == nullptr) return ERROR_INVALID_HANDLE;
    if (parent->key->deleted) return ERROR_KEY_DELETED;
    std::shared_ptr<Key> key;
    LONG status = Walk(parent->key.get(), subKey, &key);
    if (status != ERROR_SUCCESS) {
        *result = nullptr;
        return status;
    }
    if (!key) key = parent->key;
    bool full = true;
    if (m.IsNtFamily() && key->restricted) {
        if (!maximumAllowed && WantsMoreThanRead(access)) {
            *result = nullptr;
            return ERROR_ACCESS_DENIED;
        }
        full = false;
    }
    *result = m.registry.AddHandle(key, full);
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    // An empty or null path gives back the handle passed in, as RegOpenKey does.
    if (result != nullptr && (subKey == nullptr || *subKey == 0)) {
        if (auto code = Current().CheckFault("RegOpenKeyA", "")) return static_cast<LONG>(*code);
        if (Current().registry.Lookup(key) == nullptr) return ERROR_INVALID_HANDLE;
        *result = key;
        return ERROR_SUCCESS;
    }
    return OpenCommon(key, subKey, MAXIMUM_ALLOWED, true, result, "RegOpenKeyA");
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    (void)options;
    return OpenCommon(key, subKey, access, false, result, "RegOpenKeyExA");
}

LONG RegCreateKeyA(HKEY hkey, LPCSTR subKey, PHKEY result) {
    sim::Machine& m = Current();
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    Registry::OpenKey* parent = m.registry.Lookup(hkey);
    if (parent == nullptr) return ERROR_INVALID_HANDLE;
    if (parent->key->deleted) return ERROR_KEY_DELETED;
    std::vector<std::string_view> parts;
    if (!sim::SplitRegistryPath(Text(subKey), &parts)) return ERROR_BAD_PATHNAME;
    std::shared_ptr<Key> key = parent->key;
    for (auto part : parts) {
        key->AddSubkey(part);
        key = key->FindSubkeyShared(part);
    }
    *result = m.registry.AddHandle(key, true);
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY hkey, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPSTR className, LPDWORD classLength, PFILETIME lastWriteTime) {
    (void)reserved;
    sim::Machine& m = Current();
    if (auto code = m.CheckFault("RegEnumKeyExA")) return static_cast<LONG>(*code);
    Registry::OpenKey* open = m.registry.Lookup(hkey);
    if (open == nullptr) return ERROR_INVALID_HANDLE;
    if (open->key->deleted) return ERROR_KEY_DELETED;
    if (name == nullptr || nameLength == nullptr) return ERROR_INVALID_PARAMETER;
    const auto& subkeys = open->key->subkeys;
    if (index >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& found = subkeys[index]->name;
    if (found.size() + 1 > *nameLength) return ERROR_MORE_DATA;
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameLength = static_cast<DWORD>(found.size());
    if (className != nullptr && classLength != nullptr && *classLength > 0) className[0] = 0;
    if (classLength != nullptr) *classLength = 0;
    if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY hkey, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataLength) {
    (void)reserved;
    sim::Machine& m = Current();
    Registry::OpenKey* open = m.registry.Lookup(hkey);
    if (open == nullptr) return ERROR_INVALID_HANDLE;
    if (open->key->deleted) return ERROR_KEY_DELETED;
    const auto& values = open->key->values;
    if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
    const sim::Value& v = values[index];
    if (name == nullptr || nameLength == nullptr) return ERROR_INVALID_PARAMETER;
    if (v.name.size() + 1 > *nameLength) return ERROR_MORE_DATA;
    std::memcpy(name, v.name.c_str(), v.name.size() + 1);
    *nameLength = static_cast<DWORD>(v.name.size());
    if (type != nullptr) *type = v.type;
    if (dataLength != nullptr) {
        DWORD need = static_cast<DWORD>(v.data.size());
        if (data != nullptr && *dataLength < need) {
            *dataLength = need;
            return ERROR_MORE_DATA;
        }
        if (data != nullptr && need > 0) std::memcpy(data, v.data.data(), need);
        *dataLength = need;
    }
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hkey, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataLength) {
    (void)reserved;
    sim::Machine& m = Current();
    if (auto code = m.CheckFault("RegQueryValueExA", Text(valueName))) return static_cast<LONG>(*code);
    Registry::OpenKey* open = m.registry.Lookup(hkey);
    if (open == nullptr) return ERROR_INVALID_HANDLE;
    if (open->key->deleted) return ERROR_KEY_DELETED;
    if (data != nullptr && dataLength == nullptr) return ERROR_INVALID_PARAMETER;
    const sim::Value* v = open->key->FindValue(Text(valueName));
    if (v == nullptr) return ERROR_FILE_NOT_FOUND;
    if (type != nullptr) *type = v->type;
    DWORD need = static_cast<DWORD>(v->data.size());
    if (dataLength == nullptr) return ERROR_SUCCESS;
    if (data != nullptr) {
        if (*dataLength < need) {
            *dataLength = need;
            return ERROR_MORE_DATA;
        }
        if (need > 0) std::memcpy(data, v->data.data(), need);
    }
    *dataLength = need;
    return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyA(HKEY hkey, LPSTR className, LPDWORD classLength, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                      LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                      LPDWORD securityDescriptor, PFILETIME lastWriteTime) {
    (void)reserved;
    sim::Machine& m = Current();
    if (auto code = m.CheckFault("RegQueryInfoKeyA")) return static_cast<LONG>(*code);
    Registry::OpenKey* open = m.registry.Lookup(hkey);
    if (open == nullptr) return ERROR_INVALID_HANDLE;
    if (open->key->deleted) return ERROR_KEY_DELETED;
    const Key& key = *open->key;
    DWORD maxSub = 0, maxName = 0, maxData = 0;
    for (auto& s : key.subkeys) maxSub = std::max<DWORD>(maxSub, static_cast<DWORD>(s->name.size()));
    for (auto& v : key.values) {
        maxName = std::max<DWORD>(maxName, static_cast<DWORD>(v.name.size()));
        maxData = std::max<DWORD>(maxData, static_cast<DWORD>(v.data.size()));
    }
    if (className != nullptr && classLength != nullptr && *classLength > 0) className[0] = 0;
    if (classLength != nullptr) *classLength = 0;
    if (subKeys != nullptr) *subKeys = static_cast<DWORD>(key.subkeys.size());
    if (maxSubKeyLength != nullptr) *maxSubKeyLength = maxSub;
    if (maxClassLength != nullptr) *maxClassLength = 0;
    if (values != nullptr) *values = static_cast<DWORD>(key.values.size());
    if (maxValueNameLength != nullptr) *maxValueNameLength = maxName;
    if (maxValueLength != nullptr) *maxValueLength = maxData;
    if (securityDescriptor != nullptr) *securityDescriptor = 0;
    if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY hkey, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataLength) {
    (void)reserved;
    sim::Machine& m = Current();
    if (auto code = m.CheckFault("RegSetValueExA", Text(valueName))) return static_cast<LONG>(*code);
    Registry::OpenKey* open = m.registry.Lookup(hkey);
    if (open == nullptr) return ERROR_INVALID_HANDLE;
    if (open->key->deleted) return ERROR_KEY_DELETED;
    if (!open->fullAccess) return ERROR_ACCESS_DENIED;
    if (data == nullptr && dataLength != 0) return ERROR_INVALID_PARAMETER;
    // The size given for a text, as Wine's version modes show it: 95/98/Me
    // store a REG_SZ text up to its first zero whatever the size says; NT
    // adds the terminator that a text's size left out when a zero follows
    // the data.
    if (data != nullptr && type == REG_SZ && !m.IsNtFamily()) {
        dataLength = static_cast<DWORD>(std::strlen(reinterpret_cast<const char*>(data)) + 1);
    } else if (data != nullptr && m.IsNtFamily() && (type == REG_SZ || type == REG_EXPAND_SZ) && dataLength > 0 &&
               data[dataLength - 1] != 0 && data[dataLength] == 0) {
        ++dataLength;
    }
    open->key->SetValue(Text(valueName), type, data, dataLength);
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY hkey, LPCSTR subKey) {
    sim::Machine& m = Current();
    if (auto code = m.CheckFault("RegDeleteKeyA", Text(subKey))) return static_cast<LONG>(*code);
    Registry::OpenKey* open = m.registry.Lookup(hkey);
    if (open == nullptr) return ERROR_INVALID_HANDLE;
    if (open->key->deleted) return ERROR_KEY_DELETED;
    std::shared_ptr<Key> target;
    LONG status = Walk(open->key.get(), subKey, &target);
    if (status != ERROR_SUCCESS) return status;
    if (!target) {
        // An empty name: 95/98/Me delete the key itself; NT refuses.
        if (m.IsNtFamily()) return ERROR_ACCESS_DENIED;
        target = open->key;
    }
    if (target->parent == nullptr) return ERROR_ACCESS_DENIED;  // a root
    if (m.IsNtFamily()) {
        // We can only delete a key that has no subkeys, and that we may delete.
        if (!target->subkeys.empty() || target->restricted) return ERROR_ACCESS_DENIED;
    }
    target->parent->RemoveSubkey(target.get());
    return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY hkey, LPCSTR valueName) {
    sim::Machine& m = Current();
    if (auto code = m.CheckFault("RegDeleteValueA", Text(valueName))) return static_cast<LONG>(*code);
    Registry::OpenKey* open = m.registry.Lookup(hkey);
    if (open == nullptr) return ERROR_INVALID_HANDLE;
    if (open->key->deleted) return ERROR_KEY_DELETED;
    if (!open->fullAccess) return ERROR_ACCESS_DENIED;
    return open->key->RemoveValue(Text(valueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY hkey) {
    return Current().registry.CloseHandle(hkey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegFlushKey(HKEY hkey) {
    sim::Machine& m = Current();
    if (m.registry.Lookup(hkey) == nullptr) return ERROR_INVALID_HANDLE;
    ++m.registry.flushCount;
    return ERROR_SUCCESS;
}
