// RemoveVolumeRegEntries: the registry entries of this player's disk
// volumes, found from its USB mass-storage device key through each
// instance's ParentIdPrefix to the removable-media node under STORAGE.
#include "frame/frame.h"
#include "frame/px714sup.h"
#include "ownplayer/identity.h"

namespace {

const char kUsbStorPath[] = "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR";
const char kClassPath[] = "SYSTEM\\CurrentControlSet\\Control\\Class";
const char kRemovableMediaPath[] = "SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia";

// One instance of the device key: its removable-media node, the node's
// driver key, its Control and LogConf subkeys, then the node itself.
void RemoveInstanceVolume(HKEY deviceKey, const char* instanceName) {
    Trace(instanceName);
    Trace("\n");
    KeyHolder instance;
    if (!instance.OpenEx(deviceKey, instanceName, KEY_ALL_ACCESS)) return;

    Trace("Querying device instance\n");
    char parentIdPrefix[32];
    bool read = ReadTextValue(instance.Get(), "ParentIdPrefix", parentIdPrefix, sizeof(parentIdPrefix));
    instance.Close();
    if (!read) return;
    Trace("ParentIdPrefix: ");
    Trace(parentIdPrefix);
    Trace("\n");

    char path[128];
    if (!FormatText(path, sizeof(path), "SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\Removablemedia\\%s&RM",
                    parentIdPrefix)) {
        TraceTooLong("removable-media node path");
        return;
    }
    KeyHolder node;
    if (!node.OpenEx(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS)) return;
    Trace("Querying driver class instance\n");
    char driver[64];
    read = ReadTextValue(node.Get(), "Driver", driver, sizeof(driver));
    node.Close();
    if (!read) return;
    Trace("Driver instance:");
    Trace(driver);
    Trace("\n");

    // An empty driver text would name the class key itself, and with it
    // every device class below it: that deletion is left out.
    KeyHolder classKey;
    if (driver[0] != 0 && classKey.OpenEx(HKEY_LOCAL_MACHINE, kClassPath, KEY_ALL_ACCESS)) {
        Trace("Deleting:");
        Trace(driver);
        Trace("\n");
        RegDeleteKeyA(classKey.Get(), driver);
        classKey.Close();
    }

    if (!FormatText(path, sizeof(path), "SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\%s&RM",
                    parentIdPrefix)) {
        TraceTooLong("removable-media node path");
        return;
    }
    if (!node.OpenEx(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS)) return;
    Trace("Deleting:");
    Trace(path);
    Trace("\n");
    // NT deletes only a key without subkeys: the node's own subkeys first.
    RegDeleteKeyA(node.Get(), "Control");
    RegDeleteKeyA(node.Get(), "LogConf");
    node.Close();

    char nodeName[40];
    if (!FormatText(nodeName, sizeof(nodeName), "%s&RM", parentIdPrefix)) {
        TraceTooLong("removable-media node path");
        return;
    }
    KeyHolder media;
    if (media.OpenEx(HKEY_LOCAL_MACHINE, kRemovableMediaPath, KEY_ALL_ACCESS)) RegDeleteKeyA(media.Get(), nodeName);
}

// Walks the instances of the player's device key. Nothing below USBSTOR is
// deleted, so the walk is not disturbed by the deletions.
void RemoveDeviceVolumes(HKEY deviceKey) {
    char instanceName[128];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(instanceName);
        FILETIME written;
        if (RegEnumKeyExA(deviceKey, index, instanceName, &length, 0, 0, 0, &written) != ERROR_SUCCESS) return;
        RemoveInstanceVolume(deviceKey, instanceName);
    }
}

}  // namespace

extern "C" int WINAPI RemoveVolumeRegEntries(void) {
    Trace("\nDeleting Volume registry entries\n");
    char prefix[40];
    FormatText(prefix, sizeof(prefix), "Disk&Ven_%s&Prod_%s&Rev", kPlayerScsiVendor, kPlayerModel);
    Trace(prefix);
    Trace("\n");
    const size_t prefixLength = TextLength(prefix);  // 32

    KeyHolder usbstor;
    if (!usbstor.OpenEx(HKEY_LOCAL_MACHINE, kUsbStorPath, KEY_ALL_ACCESS)) return 0;

    char deviceName[128];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(deviceName);
        FILETIME written;
        if (RegEnumKeyExA(usbstor.Get(), index, deviceName, &length, 0, 0, 0, &written) != ERROR_SUCCESS) break;
        Trace(deviceName);
        Trace("\n");
        if (CompareNoCaseN(deviceName, prefix, prefixLength) != 0) continue;
        KeyHolder device;
        if (!device.OpenEx(usbstor.Get(), deviceName, KEY_ALL_ACCESS)) continue;
        // Only the first device key that matches and opens is processed.
        RemoveDeviceVolumes(device.Get());
        break;
    }
    usbstor.Close();
    Trace("Key closed.  Returning\n");
    return 0;
}
