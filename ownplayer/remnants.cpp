// RemovePlayerRemnants: what earlier installations of this player left
// outside its device nodes — its drive menu extension, Start-menu order
// entries, tool application paths and driver class key; on Windows 95/98
// also its SCSI adapter instances and its device class registration.
#include "frame/frame.h"
#include "frame/px714sup.h"
#include "legacy/menuext.h"
#include "ownplayer/identity.h"

namespace {

const char kExtensionClsid[] = "{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}";
const char kStartMenuFolder[] = "ZUMRA PX714 Multimedia Player";
// Each path begins with a backslash, as the player's setup wrote them.
const char* const kMenuOrderKeys[] = {
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs",
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs",
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs",
};
// "Apps" in the plural, as the player's setup registered them.
const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths";
const char* const kToolEntries[] = {"Vxmp3Format.exe", "Vxmp3Update.exe", "VxUsbMscFormat.exe", "VxUsbMscUpdate.exe"};
const char kDriverClassGuid[] = "{24ba5da1-036a-4499-a763-41480869e207}";
const char kScsiAdapterKey[] = "SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter";
const char kPortDriverPrefix[] = "Zmra714s";

// Deletes the SCSI adapter instances whose port driver begins with the
// player's miniport name. The index is not held back after a deletion, so
// the instance that moves into the freed number waits for the next call.
void RemoveScsiAdapterInstances() {
    KeyHolder adapters;
    if (!adapters.Open(HKEY_LOCAL_MACHINE, kScsiAdapterKey)) return;
    char name[128];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(name);
        FILETIME written;
        if (RegEnumKeyExA(adapters.Get(), index, name, &length, 0, 0, 0, &written) != ERROR_SUCCESS) break;
        KeyHolder instance;
        if (!instance.Open(adapters.Get(), name)) continue;
        char portDriver[16];
        bool read = ReadTextValue(instance.Get(), "PortDriver", portDriver, sizeof(portDriver));
        instance.Close();
        if (!read) continue;
        if (CompareNoCaseN(portDriver, kPortDriverPrefix, 8) == 0) RegDeleteKeyA(adapters.Get(), name);
    }
}

// Deletes the class's driver instance keys 0000 to 0029 one by one.
void RemoveClassInstances(const char* classRoot, const char* className) {
    char path[128];
    char number[8];
    for (int i = 0; i < 30; ++i) {
        if (!FormatText(path, sizeof(path), "%s\\%s\\%04d", classRoot, className, i)) {
            TraceTooLong("class instance key path");
            return;
        }
        KeyHolder instance;
        if (!instance.Open(HKEY_LOCAL_MACHINE, path)) continue;
        instance.Close();
        FormatText(path, sizeof(path), "%s\\%s", classRoot, className);  // shorter than the one above
        KeyHolder classKey;
        if (!classKey.Open(HKEY_LOCAL_MACHINE, path)) continue;
        FormatText(number, sizeof(number), "%04d", i);
        RegDeleteKeyA(classKey.Get(), number);
    }
}

// The registration of the player's device class below the 95/98 class
// root, and the class key its "Class" value names.
void RemoveDeviceClassRegistration() {
    const char classRoot[] = "SYSTEM\\CurrentControlSet\\Services\\Class";
    char path[128];
    FormatText(path, sizeof(path), "%s\\%s", classRoot, kPlayerUsbClass);
    KeyHolder registration;
    if (!registration.Open(HKEY_LOCAL_MACHINE, path)) return;
    char className[32];
    // Without a class name of its own (missing, too long, or not one key
    // name) the class-name steps are left out: an empty name would address
    // the class root and with it every device class below it.
    bool haveClassName = ReadTextValue(registration.Get(), "Class", className, sizeof(className)) &&
                         IsSingleName(className);
    registration.Close();

    if (haveClassName) {
        if (!FormatText(path, sizeof(path), "%s\\%s", classRoot, className)) {
            TraceTooLong("class key path");
            haveClassName = false;
        }
    }
    if (haveClassName) {
        KeyHolder classKey;
        if (classKey.Open(HKEY_LOCAL_MACHINE, path)) {
            char infPath[32];
            bool hasInfPath = ReadTextValue(classKey.Get(), "InfPath", infPath, sizeof(infPath));
            classKey.Close();
            if (hasInfPath) {
                char line[120];
                if (FormatText(line, sizeof(line), "\t\tMp3Drv OEM Name: %s\n", infPath)) Trace(line);
            } else {
                RemoveClassInstances(classRoot, className);
            }
        }
    }

    KeyHolder root;
    if (!root.Open(HKEY_LOCAL_MACHINE, classRoot)) return;
    RegDeleteKeyA(root.Get(), kPlayerUsbClass);
    if (haveClassName) RegDeleteKeyA(root.Get(), className);
}

}  // namespace

extern "C" int WINAPI RemovePlayerRemnants(void) {
    const bool layout9598 = IsWindows9598() != 0;
    Trace("Searching for player remnants\n");

    UnregisterDriveMenuExtension(kExtensionClsid);

    for (const char* menuOrder : kMenuOrderKeys) {
        KeyHolder key;
        if (key.Open(HKEY_CURRENT_USER, menuOrder)) RegDeleteKeyA(key.Get(), kStartMenuFolder);
    }

    KeyHolder appPaths;
    if (appPaths.Open(HKEY_LOCAL_MACHINE, kAppPathsKey)) {
        for (const char* tool : kToolEntries) RegDeleteKeyA(appPaths.Get(), tool);
        appPaths.Close();
    }

    char path[128];
    FormatText(path, sizeof(path), "SYSTEM\\CurrentControlSet\\Control\\Class\\%s", kDriverClassGuid);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);

    if (layout9598) {
        RemoveScsiAdapterInstances();
        RemoveDeviceClassRegistration();
    }

    RegFlushKey(HKEY_LOCAL_MACHINE);
    Trace("Completed remnant search\n");
    return 1;
}
