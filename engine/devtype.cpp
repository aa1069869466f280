// RemoveDeviceForDeviceType: removes the device nodes of one kind of device
// whose hardware IDs begin with a prefix, and their driver keys.
#include "frame/frame.h"
#include "frame/px714sup.h"

namespace {

enum {
    FirstBufferSize = 1024,
    BufferLimit = 5120,
    BufferSlack = 64,
    DriverFieldSize = 64,
    ClassKeyPathSize = 128,
    LocationFieldSize = 256,
    LineSize = 96,
};

const GUID kUsbClass = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kScsiAdapterClass = {0x4D36E97B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kDiskDriveClass = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kVolumeClass = {0x71A27CDD, 0x812A, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
const GUID kMassStorageClass = {0x24BA5DA1, 0x036A, 0x4499, {0xA7, 0x63, 0x41, 0x48, 0x08, 0x69, 0xE2, 0x07}};
const GUID kPlayerClass = {0xC6178071, 0x6A08, 0x481E, {0xA6, 0x79, 0xE9, 0xD9, 0x5A, 0x65, 0x89, 0x98}};

// What one platform does for a device type.
enum ListKind {
    OpenList,   // ask the device installer for a list
    NoList,     // the platform has none: "GetClassDevs failed"
    ReturnOne,  // nothing to do on this platform: the call returns 1 at once
};
struct ListChoice {
    ListKind kind;
    const char* note;        // traced before the list is asked for, or null
    const GUID* classGuid;   // class selector
    const char* enumerator;  // enumerator, or null for every one
    DWORD flags;             // SetupDiGetClassDevsA flags
};
struct DeviceType {
    const char* trace;  // "DeviceType: NAME\n"
    ListChoice nt;      // where IsNtPlatform holds
    ListChoice me;      // where IsWindowsMe holds
    ListChoice w9598;   // neither
};

const DeviceType kDeviceTypes[] = {
    {"DeviceType: DEVICETYPE_USB\n",
     {OpenList, 0, &kUsbClass, "USB", 0},
     {OpenList, 0, &kUsbClass, "USB", 0},
     {OpenList, 0, &kPlayerClass, "USB", 0}},
    {"DeviceType: DEVICETYPE_SCSI\n",
     {OpenList, 0, &kScsiAdapterClass, 0, 0},
     {OpenList, 0, &kScsiAdapterClass, 0, 0},
     {OpenList, 0, &kScsiAdapterClass, 0, 0}},
    {"DeviceType: DEVICETYPE_DISK\n",
     {OpenList, 0, &kDiskDriveClass, "SCSI", 0},
     {OpenList, 0, &kDiskDriveClass, "SCSI", 0},
     {OpenList, 0, &kDiskDriveClass, "SCSI", 0}},
    {"DeviceType: DEVICETYPE_USBSTOR\n",
     {OpenList, 0, &kDiskDriveClass, "USBSTOR", 0},
     {OpenList, "Windows Me\n", &kVolumeClass, "USBSTOR", DIGCF_ALLCLASSES},
     {NoList, 0, 0, 0, 0}},
    {"DeviceType: DEVICETYPE_USBMSC\n",
     {OpenList, 0, &kMassStorageClass, "USB", 0},
     {OpenList, 0, &kMassStorageClass, "USB", 0},
     {ReturnOne, 0, 0, 0, 0}},
    {"DeviceType: DEVICETYPE_VOLUME\n",
     {OpenList, 0, &kVolumeClass, "STORAGE", 0},
     {OpenList, 0, &kVolumeClass, "STORAGE", 0},
     {OpenList, 0, &kVolumeClass, "STORAGE", 0}},
    {"DeviceType: DEVICETYPE_MP3_USB\n",
     {OpenList, 0, &kPlayerClass, "USB", 0},
     {OpenList, 0, &kPlayerClass, "USB", 0},
     {OpenList, 0, &kPlayerClass, "USB", 0}},
};
const unsigned int kDeviceTypeCount = sizeof(kDeviceTypes) / sizeof(kDeviceTypes[0]);

// The hardware-ID block, allocated at the first device and shared by all.
struct IdBuffer {
    BYTE* data;  // LocalAlloc block, or null
    DWORD size;  // current size: the allocation's, or the next one's
};

enum ReadOutcome { IdsRead, DevicePassedOver, CallEnds };

// Reads the device's hardware IDs, growing the buffer while the device
// installer asks for more and the new size stays under the limit.
ReadOutcome ReadHardwareIds(HDEVINFO list, SP_DEVINFO_DATA* device, IdBuffer* buffer, DWORD* required) {
    for (;;) {
        // The block is shared by the devices of the call: cleared before each
        // read, so that a list that ends without its empty text (a value of
        // another type, or one zero short) is never read on into the IDs of
        // the device before.
        for (DWORD i = 0; i < buffer->size; ++i) buffer->data[i] = 0;
        DWORD type = 0;
        if (SetupDiGetDeviceRegistryPropertyA(list, device, SPDRP_HARDWAREID, &type, buffer->data, buffer->size,
                                              required))
            return IdsRead;
        DWORD error = GetLastError();
        if (error == ERROR_INVALID_DATA) return DevicePassedOver;
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            Trace("GetDeviceRegistryProperty failed\n");
            return CallEnds;
        }
        if (buffer->size >= *required) Trace("This thing is hosed\n");
        DWORD newSize = *required <= 0xFFFFFFFFu - BufferSlack ? *required + BufferSlack : 0xFFFFFFFFu;
        // Given up with the old block still held; a size that does not grow
        // would ask the same question forever.
        if (newSize >= BufferLimit || newSize <= buffer->size) return CallEnds;
        char line[LineSize];
        FormatText(line, sizeof(line), "SetupDiGetDeviceRegistryProperty failed - allocating %u bytes\n", newSize);
        Trace(line);
        LocalFree(buffer->data);
        buffer->data = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, newSize));
        if (buffer->data == 0) {
            Trace("\nAllocation failed\n");
            return CallEnds;
        }
        buffer->size = newSize;
    }
}

// Reads a text property into a zeroed field; false when it cannot be read
// or does not end inside the field.
bool ReadTextProperty(HDEVINFO list, SP_DEVINFO_DATA* device, DWORD property, char* field, DWORD size) {
    for (DWORD i = 0; i < size; ++i) field[i] = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(list, device, property, 0, reinterpret_cast<BYTE*>(field), size, 0))
        return false;
    return field[size - 1] == 0;
}

// Acts on a matched device: removes it and deletes its driver key below
// the platform's class key.
void RemoveMatchedDevice(HDEVINFO list, SP_DEVINFO_DATA* device) {
    Trace("Found\n");
    char driver[DriverFieldSize];
    char classKeyPath[ClassKeyPathSize] = "";
    // An empty driver name would make the path name the class key itself.
    bool deleteClassKey = ReadTextProperty(list, device, SPDRP_DRIVER, driver, DriverFieldSize) && driver[0] != 0 &&
                          FormatText(classKeyPath, sizeof(classKeyPath),
                                     IsNtPlatform() ? "System\\CurrentControlSet\\Control\\Class\\%s"
                                                    : "System\\CurrentControlSet\\Services\\Class\\%s",
                                     driver);
    char location[LocationFieldSize];
    if (ReadTextProperty(list, device, SPDRP_LOCATION_INFORMATION, location, LocationFieldSize)) {
        Trace("Location Info:");
        Trace(location);
        Trace("\n");
    }
    if (SetupDiCallClassInstaller(DIF_REMOVE, list, device))
        Trace("Removed\n");
    else
        Trace("SetupDiCallClassInstaller(DIF_REMOVE) failed\n");
    if (!deleteClassKey) return;
    Trace("Deleting:");
    Trace(classKeyPath);
    Trace("\n");
    if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, classKeyPath) != ERROR_SUCCESS)
        Trace("Delete failed\n");
    else
        Trace("Deleted\n");
}

// Compares the device's IDs with the prefix, byte by byte, and acts on the
// device at the first that matches; its later IDs are not compared.
void WalkIds(HDEVINFO list, SP_DEVINFO_DATA* device, const IdBuffer& buffer, const char* prefix) {
    size_t prefixLength = TextLength(prefix);
    const char* ids = reinterpret_cast<const char*>(buffer.data);
    DWORD at = 0;
    while (at < buffer.size && ids[at] != 0) {
        DWORD end = at;
        while (end < buffer.size && ids[end] != 0) ++end;
        if (end == buffer.size) return;  // an ID without its terminator inside the buffer is not read
        const char* id = ids + at;
        at = end + 1;
        Trace("Compare device ID: ");
        Trace(id);
        Trace("\n");
        if (CompareBytesNoCaseN(id, prefix, prefixLength) == 0) {
            RemoveMatchedDevice(list, device);
            return;
        }
    }
}

}  // namespace

extern "C" int WINAPI RemoveDeviceForDeviceType(const char* hardwareIdPrefix, unsigned int deviceType) {
    Trace("Trying to remove: ");
    Trace(hardwareIdPrefix);
    Trace("\n");
    HDEVINFO list = INVALID_HANDLE_VALUE;
    IdBuffer buffer;
    buffer.data = 0;
    buffer.size = FirstBufferSize;
    if (deviceType < kDeviceTypeCount) {
        const DeviceType& type = kDeviceTypes[deviceType];
        Trace(type.trace);
        const ListChoice& choice = IsNtPlatform() ? type.nt : IsWindowsMe() ? type.me : type.w9598;
        if (choice.kind == ReturnOne) return 1;
        if (choice.note != 0) Trace(choice.note);
        if (choice.kind == OpenList) list = SetupDiGetClassDevsA(choice.classGuid, choice.enumerator, 0, choice.flags);
    }
    if (list == INVALID_HANDLE_VALUE) {
        Trace("GetClassDevs failed\n");
    } else {
        DWORD required = FirstBufferSize;
        SP_DEVINFO_DATA device;
        device.cbSize = sizeof(SP_DEVINFO_DATA);
        bool ended = false;
        for (DWORD index = 0; !ended && SetupDiEnumDeviceInfo(list, index, &device); ++index) {
            if (buffer.data == 0) {
                buffer.data = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, buffer.size));
                if (buffer.data == 0) {
                    Trace("Allocation failed\n");
                    ended = true;
                    continue;
                }
            }
            ReadOutcome outcome = ReadHardwareIds(list, &device, &buffer, &required);
            if (outcome == CallEnds) {
                ended = true;
                continue;
            }
            if (outcome == IdsRead && buffer.data[0] != 0) WalkIds(list, &device, buffer, hardwareIdPrefix);
        }
        if (!ended) {
            DWORD error = GetLastError();
            if (error != 0 && error != ERROR_NO_MORE_ITEMS) Trace("EnumDeviceInfo failed");
        }
    }
    DWORD lastError = GetLastError();
    if (buffer.data != 0) LocalFree(buffer.data);
    if (list != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(list);
    return lastError != 0 ? 1 : 0;
}
