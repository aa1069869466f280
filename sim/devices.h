// The simulated machine's device installer (SetupDi*).
//
// Device nodes are the instance keys of the machine's Enum tree, three
// levels down: ENUMERATOR\DEVICE\INSTANCE below HKLM\SYSTEM\CurrentControlSet\Enum
// on the NT family and below HKLM\Enum on 95/98/Me (the 95/98/Me device
// installer reads its own tree). A node's properties are the values of its
// instance key: "HardwareID" (REG_MULTI_SZ), "ClassGUID", "Driver",
// "LocationInformation" and a few more.
//
// A device information list is a snapshot of the nodes that matched when it
// was made; its members keep their numbers for the life of the list, also
// after DIF_REMOVE has removed one of them. Properties are read from the
// registry at the time of the read.
#ifndef PX714SUP_SIM_DEVICES_H
#define PX714SUP_SIM_DEVICES_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"
#include "sim/registry.h"

// Device installer codes the library itself never names.
#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004L
#endif
#ifndef ERROR_INVALID_USER_BUFFER
#define ERROR_INVALID_USER_BUFFER 1784L
#endif
#ifndef ERROR_CALL_NOT_IMPLEMENTED
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#endif
#ifndef ERROR_INVALID_REG_PROPERTY
#define ERROR_INVALID_REG_PROPERTY 0xE0000209L
#endif
#ifndef ERROR_NO_SUCH_DEVINST
#define ERROR_NO_SUCH_DEVINST 0xE000020BL
#endif

namespace sim {

class Machine;

// One member of a device information list.
struct DeviceMember {
    std::string instanceId;    // "ENUMERATOR\\DEVICE\\INSTANCE", names as stored
    std::shared_ptr<Key> key;  // the instance key the list found
    DWORD devInst = 0;         // the node number handed out in SP_DEVINFO_DATA
    bool removed = false;      // DIF_REMOVE has removed it through this list
};

struct DeviceList {
    std::vector<DeviceMember> members;  // in Enum order: enumerator, device, instance
};

class DeviceInstaller {
public:
    DeviceInstaller() = default;
    // Open lists belong to the machine they were opened on: a copy has none.
    DeviceInstaller(const DeviceInstaller& other);
    DeviceInstaller& operator=(const DeviceInstaller& other);

    // Open handles of this kind, for the leak check.
    size_t OpenHandles() const { return lists_.size(); }

    HDEVINFO AddList(DeviceList list);
    DeviceList* Lookup(HDEVINFO handle);  // null when the handle is not an open list
    bool Destroy(HDEVINFO handle);
    DWORD NextDevInst() { return nextDevInst_++; }

    int listsMade = 0;     // SetupDiGetClassDevsA calls that gave a list
    int nodesRemoved = 0;  // DIF_REMOVE calls that removed a node

private:
    std::map<uintptr_t, DeviceList> lists_;
    uintptr_t nextHandle_ = 0x7000;
    DWORD nextDevInst_ = 1;
};

// The Enum tree the machine's device installer reads, with the root name:
// "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum" (NT) or
// "HKEY_LOCAL_MACHINE\\Enum" (95/98/Me).
std::string EnumRoot(const Machine& machine);
// The device class key that driver keys live under:
// "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class" (NT) or
// "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class" (95/98/Me).
std::string ClassRoot(const Machine& machine);

// Writes a device node into the machine's Enum tree and returns its instance
// ID. Empty texts leave their value out; an empty ID list leaves out
// "HardwareID".
std::string AddDevice(Machine& machine, std::string_view enumerator, std::string_view device,
                      std::string_view instance, const std::vector<std::string>& hardwareIds,
                      std::string_view classGuid = {}, std::string_view driver = {},
                      std::string_view location = {});

// Braced upper-case text of a GUID, and back (false for any other form).
std::string GuidText(const GUID& guid);
bool ParseGuid(std::string_view text, GUID* guid);

// The instance-key value that holds a SPDRP_ property; null for a property
// that is not modelled.
const char* DevicePropertyValueName(DWORD property);

// The operations behind the SetupDi functions. Each returns a Windows error
// code, 0 on success.
//
// The nodes of one enumerator (null or empty: every enumerator) of one class
// (ignored with DIGCF_ALLCLASSES). A named enumerator whose key is missing
// gives ERROR_INVALID_DATA.
DWORD ListDevices(Machine& machine, const GUID* classGuid, const char* enumerator, DWORD flags,
                  DeviceList* list);
// A property's data and registry type. A node that is gone gives
// ERROR_NO_SUCH_DEVINST, a node without the value ERROR_INVALID_DATA.
DWORD ReadDeviceProperty(Machine& machine, const DeviceMember& member, DWORD property,
                         std::vector<uint8_t>* data, DWORD* type);
// DIF_REMOVE: the instance key with its subkeys and the node's driver key
// below the class key. On the NT family the device and enumerator keys that
// the removal leaves empty go too; 95/98/Me leave the device key in place
// (which is why the library deletes a removed SCSI node's device key there
// itself). Registry restrictions do not bind the device installer.
DWORD RemoveDevice(Machine& machine, DeviceMember& member);

}  // namespace sim

#endif  // PX714SUP_SIM_DEVICES_H
