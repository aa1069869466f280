#include "sim/devices.h"

#include <cstdio>
#include <stdexcept>

#include "sim/machine.h"

namespace sim {

namespace {

// Property codes and the instance-key values that hold them.
struct PropertyName {
    DWORD property;    // SPDRP_*
    const char* name;  // value name in the instance key
};
const PropertyName kProperties[] = {
    {SPDRP_DEVICEDESC, "DeviceDesc"},     {SPDRP_HARDWAREID, "HardwareID"},
    {SPDRP_COMPATIBLEIDS, "CompatibleIDs"}, {SPDRP_SERVICE, "Service"},
    {SPDRP_CLASS, "Class"},               {SPDRP_CLASSGUID, "ClassGUID"},
    {SPDRP_DRIVER, "Driver"},             {SPDRP_MFG, "Mfg"},
    {SPDRP_FRIENDLYNAME, "FriendlyName"}, {SPDRP_LOCATION_INFORMATION, "LocationInformation"},
};

// A REG_SZ value's text without its terminator (and without anything after
// an early one); empty when the value is missing.
std::string TextValue(const Key& key, std::string_view name) {
    const Value* v = key.FindValue(name);
    if (v == nullptr) return "";
    std::string text(v->data.begin(), v->data.end());
    size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    return text;
}

void SetText(Key* key, std::string_view name, std::string_view text) {
    std::string data(text);
    key->SetValue(name, REG_SZ, data.c_str(), data.size() + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses `digits` hexadecimal digits at text[pos].
bool HexField(std::string_view text, size_t pos, size_t digits, uint32_t* value) {
    if (pos + digits > text.size()) return false;
    uint32_t v = 0;
    for (size_t i = 0; i < digits; ++i) {
        int d = HexDigit(text[pos + i]);
        if (d < 0) return false;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    *value = v;
    return true;
}

// Deletes the keys of `path` below `root` from the deepest up, each only
// while it has no subkeys left; stops at the first that still has some.
void RemoveEmptiedParents(Key* root, const std::vector<std::string>& path) {
    for (size_t depth = path.size(); depth > 0; --depth) {
        Key* key = root;
        for (size_t i = 0; i < depth && key != nullptr; ++i) key = key->FindSubkey(path[i]);
        if (key == nullptr || !key->subkeys.empty()) return;
        key->parent->RemoveSubkey(key);
    }
}

}  // namespace

const char* DevicePropertyValueName(DWORD property) {
    for (const PropertyName& p : kProperties)
        if (p.property == property) return p.name;
    return nullptr;
}

DeviceInstaller::DeviceInstaller(const DeviceInstaller& other) { *this = other; }

DeviceInstaller& DeviceInstaller::operator=(const DeviceInstaller& other) {
    if (this == &other) return *this;
    lists_.clear();
    nextHandle_ = other.nextHandle_;
    nextDevInst_ = other.nextDevInst_;
    listsMade = other.listsMade;
    nodesRemoved = other.nodesRemoved;
    return *this;
}

HDEVINFO DeviceInstaller::AddList(DeviceList list) {
    uintptr_t value = nextHandle_;
    nextHandle_ += 4;
    lists_[value] = std::move(list);
    ++listsMade;
    return reinterpret_cast<HDEVINFO>(value);
}

DeviceList* DeviceInstaller::Lookup(HDEVINFO handle) {
    auto it = lists_.find(reinterpret_cast<uintptr_t>(handle));
    return it == lists_.end() ? nullptr : &it->second;
}

bool DeviceInstaller::Destroy(HDEVINFO handle) { return lists_.erase(reinterpret_cast<uintptr_t>(handle)) == 1; }

std::string EnumRoot(const Machine& machine) {
    return machine.IsNtFamily() ? "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum" : "HKEY_LOCAL_MACHINE\\Enum";
}

std::string ClassRoot(const Machine& machine) {
    return machine.IsNtFamily() ? "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class"
                                : "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class";
}

std::string AddDevice(Machine& machine, std::string_view enumerator, std::string_view device,
                      std::string_view instance, const std::vector<std::string>& hardwareIds,
                      std::string_view classGuid, std::string_view driver, std::string_view location) {
    std::string id = std::string(enumerator) + "\\" + std::string(device) + "\\" + std::string(instance);
    Key* key = machine.registry.CreatePath(EnumRoot(machine) + "\\" + id);
    if (key == nullptr) throw std::runtime_error("AddDevice: bad instance ID " + id);
    if (!hardwareIds.empty()) {
        std::string multi;
        for (const std::string& hw : hardwareIds) multi += hw + '\0';
        multi += '\0';
        key->SetValue("HardwareID", REG_MULTI_SZ, multi.data(), multi.size());
    }
    if (!classGuid.empty()) SetText(key, "ClassGUID", classGuid);
    if (!driver.empty()) SetText(key, "Driver", driver);
    if (!location.empty()) SetText(key, "LocationInformation", location);
    return id;
}

std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

bool ParseGuid(std::string_view text, GUID* guid) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-')
        return false;
    GUID g{};
    uint32_t v = 0;
    if (!HexField(text, 1, 8, &v)) return false;
    g.Data1 = v;
    if (!HexField(text, 10, 4, &v)) return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!HexField(text, 15, 4, &v)) return false;
    g.Data3 = static_cast<uint16_t>(v);
    const size_t bytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!HexField(text, bytePos[i], 2, &v)) return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    *guid = g;
    return true;
}

DWORD ListDevices(Machine& machine, const GUID* classGuid, const char* enumerator, DWORD flags,
                  DeviceList* list) {
    // Presence, interfaces and hardware profiles are not modelled: refused,
    // so that a caller relying on them shows in its tests.
    if (flags & ~static_cast<DWORD>(DIGCF_ALLCLASSES)) return ERROR_INVALID_FLAGS;
    bool allClasses = (flags & DIGCF_ALLCLASSES) != 0;
    if (classGuid == nullptr && !allClasses) return ERROR_INVALID_PARAMETER;
    std::string wanted = allClasses ? std::string() : GuidText(*classGuid);

    list->members.clear();
    Key* root = machine.registry.FindPath(EnumRoot(machine));
    std::vector<Key*> enumerators;
    if (enumerator != nullptr && *enumerator != 0) {
        Key* one = root ? root->FindSubkey(enumerator) : nullptr;
        // A single name only: a device instance ID is not modelled.
        if (one == nullptr || std::string_view(enumerator).find('\\') != std::string_view::npos)
            return ERROR_INVALID_DATA;
        enumerators.push_back(one);
    } else if (root != nullptr) {
        for (auto& e : root->subkeys) enumerators.push_back(e.get());
    }
    for (Key* e : enumerators) {
        for (auto& d : e->subkeys) {
            for (auto& instance : d->subkeys) {
                if (!allClasses && CompareKeyNames(TextValue(*instance, "ClassGUID"), wanted) != 0) continue;
                DeviceMember member;
                member.instanceId = e->name + "\\" + d->name + "\\" + instance->name;
                member.key = instance;
                member.devInst = machine.devices.NextDevInst();
                list->members.push_back(std::move(member));
            }
        }
    }
    return ERROR_SUCCESS;
}

DWORD ReadDeviceProperty(Machine& machine, const DeviceMember& member, DWORD property,
                         std::vector<uint8_t>* data, DWORD* type) {
    const char* name = DevicePropertyValueName(property);
    if (name == nullptr) return ERROR_INVALID_REG_PROPERTY;
    if (member.removed || member.key->deleted) return ERROR_NO_SUCH_DEVINST;
    const Value* v = member.key->FindValue(name);
    if (v == nullptr) return ERROR_INVALID_DATA;
    *data = v->data;
    *type = v->type;
    // The 95/98/Me Enum tree keeps ID lists as one comma-separated text;
    // the device installer hands them out as a multi-string.
    if ((property == SPDRP_HARDWAREID || property == SPDRP_COMPATIBLEIDS) && !machine.IsNtFamily() &&
        v->type == REG_SZ) {
        std::vector<uint8_t> multi;
        for (uint8_t c : v->data) {
            if (c == 0) break;
            multi.push_back(c == ',' ? 0 : c);
        }
        if (!multi.empty() && multi.back() != 0) multi.push_back(0);
        multi.push_back(0);
        *data = multi;
        *type = REG_MULTI_SZ;
    }
    // The NT family's device installer hands the class GUID out in upper case.
    if (property == SPDRP_CLASSGUID && machine.IsNtFamily())
        for (uint8_t& c : *data)
            if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
    return ERROR_SUCCESS;
}

DWORD RemoveDevice(Machine& machine, DeviceMember& member) {
    if (member.removed || member.key->deleted) return ERROR_NO_SUCH_DEVINST;
    std::string driver = TextValue(*member.key, "Driver");
    member.key->parent->RemoveSubkey(member.key.get());
    member.removed = true;

    // NT: the device and enumerator keys go when the removal leaves them
    // empty. 95/98/Me leave them.
    std::vector<std::string> parents;
    size_t start = 0;
    for (size_t slash; (slash = member.instanceId.find('\\', start)) != std::string::npos; start = slash + 1)
        parents.push_back(member.instanceId.substr(start, slash - start));
    Key* root = machine.registry.FindPath(EnumRoot(machine));
    if (machine.IsNtFamily() && root != nullptr) RemoveEmptiedParents(root, parents);

    // The node's software key: its driver key below the class key.
    std::vector<std::string_view> parts;
    if (!driver.empty() && SplitRegistryPath(driver, &parts)) {
        if (Key* driverKey = machine.registry.FindPath(ClassRoot(machine) + "\\" + driver))
            if (driverKey->parent != nullptr) driverKey->parent->RemoveSubkey(driverKey);
    }
    ++machine.devices.nodesRemoved;
    return ERROR_SUCCESS;
}

}  // namespace sim
