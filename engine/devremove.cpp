#include "engine/devremove.h"

namespace {

enum {
    FirstBufferSize = 512,
    BufferLimit = 5120,  // a hardware-ID list needing this much is given up
    BufferSlack = 64,    // added to the size the device installer asks for
    ClassFieldSize = 64,
    DeletionPathSize = 64,
    LineSize = 96,
};

// The hardware-ID block: held from allocation to release, with the size it
// was allocated with. A grown size stays for the later devices of a call.
struct IdBuffer {
    BYTE* data;  // LocalAlloc block, or null
    DWORD size;  // its size in bytes
};

void Release(IdBuffer* buffer) {
    if (buffer->data != 0) LocalFree(buffer->data);
    buffer->data = 0;
}

enum ReadOutcome { IdsRead, DevicePassedOver, CallEnds };

// Reads the device's hardware IDs, growing the buffer while the device
// installer asks for more and the size stays under the limit.
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
        if (error == ERROR_INVALID_DATA) {
            Trace("SetupDiGetDeviceRegistryProperty failed with invalid data\n");
            return DevicePassedOver;
        }
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            Trace("GetDeviceRegistryProperty failed\n");
            return CallEnds;
        }
        if (buffer->size >= *required) Trace("This thing is hosed\n");
        DWORD oldSize = buffer->size;
        // Worked out so that no reported size can wrap round to a small one.
        DWORD newSize = *required <= 0xFFFFFFFFu - BufferSlack ? *required + BufferSlack : 0xFFFFFFFFu;
        char line[LineSize];
        FormatText(line, sizeof(line), "SetupDiGetDeviceRegistryProperty failed - allocating %u bytes\n", newSize);
        Trace(line);
        Release(buffer);
        // A size that does not grow would ask the same question forever.
        if (newSize >= BufferLimit || newSize <= oldSize) return CallEnds;
        buffer->data = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, newSize));
        if (buffer->data == 0) {
            Trace("\nAllocation failed\n");
            return CallEnds;
        }
        buffer->size = newSize;
    }
}

// The class filter: true when the device's class equals classGuidText. A
// class that cannot be read matches nothing.
bool DeviceOfClass(HDEVINFO list, SP_DEVINFO_DATA* device, const char* classGuidText) {
    char field[ClassFieldSize];
    for (int i = 0; i < ClassFieldSize; ++i) field[i] = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(list, device, SPDRP_CLASSGUID, 0, reinterpret_cast<BYTE*>(field),
                                           ClassFieldSize, 0))
        return false;
    if (field[ClassFieldSize - 1] != 0) return false;  // no terminator: not a class text
    return CompareNoCase(field, classGuidText) == 0;
}

// Removes the node and, on 95/98/Me for a SCSI enumerator, its key
// Enum\ENUMERATOR\ID.
void RemoveNode(HDEVINFO list, SP_DEVINFO_DATA* device, const char* enumeratorName, const char* id) {
    Trace("\nRemoving: ");
    Trace(id);
    Trace("\n");
    if (!SetupDiCallClassInstaller(DIF_REMOVE, list, device)) {
        Trace("CallClassInstaller failed\n");
        return;
    }
    Trace("Removed\n");
    if (IsNtPlatform() || CompareNoCaseN(enumeratorName, "SCSI", 4) != 0) return;
    char path[DeletionPathSize];
    if (!FormatText(path, sizeof(path), "Enum\\%s\\%s", enumeratorName, id)) {
        // Cut short, the path would name a key further up the tree.
        Trace("Deletion path too long: ");
        Trace(id);
        Trace("\n");
        return;
    }
    LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    if (status != ERROR_SUCCESS) {
        Trace("delete key failed ");
        Trace(path);
        Trace("\n");
    } else {
        Trace("DeleteKey OK\n");
    }
}

// Compares every hardware ID of the device with the prefix and acts on each
// that matches; a class mismatch ends the device.
void WalkIds(HDEVINFO list, SP_DEVINFO_DATA* device, const IdBuffer& buffer, const char* enumeratorName,
             const char* prefix, const char* classGuidText) {
    size_t prefixLength = TextLength(prefix);
    bool classFilter = classGuidText != 0 && CompareNoCaseN(enumeratorName, "USB", 3) == 0;
    const char* ids = reinterpret_cast<const char*>(buffer.data);
    DWORD at = 0;
    while (at < buffer.size && ids[at] != 0) {
        DWORD end = at;
        while (end < buffer.size && ids[end] != 0) ++end;
        if (end == buffer.size) return;  // an ID without its terminator inside the buffer is not read
        const char* id = ids + at;
        at = end + 1;
        Trace("\nComparing ID: ");
        Trace(id);
        Trace("\n");
        if (CompareNoCaseN(id, prefix, prefixLength) != 0) continue;
        if (classFilter) {
            Trace("Checking GUID - ");
            if (!DeviceOfClass(list, device, classGuidText)) {
                Trace("Mismatched\n");
                return;
            }
            Trace("Matched\n");
        }
        RemoveNode(list, device, enumeratorName, id);
    }
}

}  // namespace

void RemoveDevicesByHardwareId(const char* enumeratorName, const char* hardwareIdPrefix, const char* classGuidText) {
    Trace("\nSearching for: ");
    Trace(enumeratorName);
    Trace(" \\ ");
    Trace(hardwareIdPrefix);
    Trace("\n");
    HDEVINFO list = SetupDiGetClassDevsA(0, enumeratorName, 0, DIGCF_ALLCLASSES);
    if (list == INVALID_HANDLE_VALUE) {
        Trace("\nGetClassDevs failed\n");
        Trace("\nDone\n");
        return;
    }
    IdBuffer buffer;
    buffer.size = FirstBufferSize;
    buffer.data = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, buffer.size));
    if (buffer.data == 0) {
        Trace("\nAllocation failed\n");
    } else {
        DWORD required = FirstBufferSize;
        SP_DEVINFO_DATA device;
        device.cbSize = sizeof(SP_DEVINFO_DATA);
        bool ended = false;
        for (DWORD index = 0; !ended && SetupDiEnumDeviceInfo(list, index, &device); ++index) {
            char line[LineSize];
            Trace("Getting h/w IDs\n");
            FormatText(line, sizeof(line), "buffersize = %d\n", static_cast<int>(buffer.size));
            Trace(line);
            ReadOutcome outcome = ReadHardwareIds(list, &device, &buffer, &required);
            if (outcome == CallEnds) {
                ended = true;
                continue;
            }
            if (outcome == DevicePassedOver) continue;  // without "On to the next"
            if (buffer.data[0] != 0) WalkIds(list, &device, buffer, enumeratorName, hardwareIdPrefix, classGuidText);
            Trace("On to the next\n");
        }
        if (!ended) {
            DWORD error = GetLastError();
            if (error != 0 && error != ERROR_NO_MORE_ITEMS) Trace("EnumDeviceInfo failed");
        }
        Release(&buffer);
    }
    SetupDiDestroyDeviceInfoList(list);
    Trace("\nDone\n");
}
