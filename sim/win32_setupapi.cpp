// The device installer functions of platform/win32.h over the current
// machine (sim/devices.h holds the model).
//
// As SETUPAPI does, each function sets the last error on every path:
// NO_ERROR on success, the failure's code otherwise. Faults are injected per
// call under the function's name; the argument text a fault can match is
// the enumerator (SetupDiGetClassDevsA), the member's instance ID
// (SetupDiEnumDeviceInfo, SetupDiCallClassInstaller), or the instance ID, a
// bar and the property's value name, "USB\\VID_1\\1|HardwareID"
// (SetupDiGetDeviceRegistryPropertyA).
#include <cstring>
#include <string>

#include "sim/machine.h"

using sim::Current;
using sim::DeviceList;
using sim::DeviceMember;

namespace {

BOOL Fail(sim::Machine& m, DWORD code) {
    m.lastError = code;
    return FALSE;
}

BOOL Succeed(sim::Machine& m) {
    m.lastError = NO_ERROR;
    return TRUE;
}

// The member a device record names in an open list, or null (last error set).
DeviceMember* MemberOf(sim::Machine& m, HDEVINFO handle, const SP_DEVINFO_DATA* data) {
    DeviceList* list = m.devices.Lookup(handle);
    if (list == nullptr) {
        m.lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->Reserved >= list->members.size() ||
        list->members[data->Reserved].devInst != data->DevInst) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    return &list->members[data->Reserved];
}

}  // namespace

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent, DWORD flags) {
    (void)parent;
    sim::Machine& m = Current();
    if (auto code = m.CheckFault("SetupDiGetClassDevsA", enumerator ? enumerator : "")) {
        m.lastError = *code;
        return INVALID_HANDLE_VALUE;
    }
    DeviceList list;
    DWORD error = sim::ListDevices(m, classGuid, enumerator, flags, &list);
    if (error != ERROR_SUCCESS) {
        m.lastError = error;
        return INVALID_HANDLE_VALUE;
    }
    m.lastError = NO_ERROR;
    return m.devices.AddList(std::move(list));
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD memberIndex, PSP_DEVINFO_DATA data) {
    sim::Machine& m = Current();
    DeviceList* list = m.devices.Lookup(handle);
    if (list == nullptr) return Fail(m, ERROR_INVALID_HANDLE);
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(m, ERROR_INVALID_USER_BUFFER);
    std::string id = memberIndex < list->members.size() ? list->members[memberIndex].instanceId : "";
    if (auto code = m.CheckFault("SetupDiEnumDeviceInfo", id)) return Fail(m, *code);
    if (memberIndex >= list->members.size()) return Fail(m, ERROR_NO_MORE_ITEMS);
    const DeviceMember& member = list->members[memberIndex];
    GUID guid{};
    const sim::Value* cls = member.key->FindValue("ClassGUID");
    if (cls != nullptr) {
        std::string text(cls->data.begin(), cls->data.end());
        text.resize(std::strlen(text.c_str()));
        sim::ParseGuid(text, &guid);
    }
    data->ClassGuid = guid;
    data->DevInst = member.devInst;
    data->Reserved = memberIndex;
    return Succeed(m);
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO handle, PSP_DEVINFO_DATA data, DWORD property,
                                       LPDWORD propertyRegDataType, LPBYTE buffer, DWORD bufferSize,
                                       LPDWORD requiredSize) {
    sim::Machine& m = Current();
    DeviceMember* member = MemberOf(m, handle, data);
    if (member == nullptr) return FALSE;
    if (buffer == nullptr && bufferSize != 0) return Fail(m, ERROR_INVALID_USER_BUFFER);
    std::vector<uint8_t> value;
    DWORD type = REG_NONE;
    DWORD error = sim::ReadDeviceProperty(m, *member, property, &value, &type);
    const char* name = sim::DevicePropertyValueName(property);
    std::string argument = member->instanceId + "|" + (name ? name : "");
    if (auto code = m.CheckFault("SetupDiGetDeviceRegistryPropertyA", argument)) return Fail(m, *code);
    if (error != ERROR_SUCCESS) return Fail(m, error);
    DWORD need = static_cast<DWORD>(value.size());
    if (propertyRegDataType != nullptr) *propertyRegDataType = type;
    if (requiredSize != nullptr) *requiredSize = need;
    if (bufferSize < need) return Fail(m, ERROR_INSUFFICIENT_BUFFER);
    if (need > 0) std::memcpy(buffer, value.data(), need);
    return Succeed(m);
}

BOOL SetupDiCallClassInstaller(DI_FUNCTION installFunction, HDEVINFO handle, PSP_DEVINFO_DATA data) {
    sim::Machine& m = Current();
    DeviceMember* member = MemberOf(m, handle, data);
    if (member == nullptr) return FALSE;
    // Only the removal is modelled.
    if (installFunction != DIF_REMOVE) return Fail(m, ERROR_CALL_NOT_IMPLEMENTED);
    if (auto code = m.CheckFault("SetupDiCallClassInstaller", member->instanceId)) return Fail(m, *code);
    DWORD error = sim::RemoveDevice(m, *member);
    if (error != ERROR_SUCCESS) return Fail(m, error);
    return Succeed(m);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
    sim::Machine& m = Current();
    if (!m.devices.Destroy(handle)) return Fail(m, ERROR_INVALID_HANDLE);
    return Succeed(m);
}
