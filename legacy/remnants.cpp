// RemoveLegacyPlayerRemnants: what one legacy player leaves in the device
// registry: its SCSI, own-enumerator and USB device nodes, their keys, and
// its critical device database entries.
#include "engine/destroy.h"
#include "engine/devremove.h"
#include "frame/frame.h"
#include "frame/px714sup.h"
#include "legacy/catalogue.h"

namespace {

enum {
    ProbePathSize = 64,
    PaddedIdSize = 12,
    WorkingTextSize = 128,
    IndexLineSize = 64,
};

const char kCriticalDeviceDatabase[] = "SYSTEM\\CurrentControlSet\\Control\\CriticalDeviceDatabase";

// Every text here is built from the row's identities, which fit their
// fields; should one not fit, its step is left out (an empty prefix would
// match every device) and traced.
bool Fits(bool formatted, const char* text) {
    if (formatted) return true;
    Trace("Text too long for its field: ");
    Trace(text);
    Trace("\n");
    return false;
}

// True when HKLM\Enum\PRODUCT\deviceId exists: the player's own enumerator
// in the 95/98/Me layout.
bool LegacyEnumeratorPresent(const char* productId, const char* deviceId) {
    char probePath[ProbePathSize];
    if (!Fits(FormatText(probePath, sizeof(probePath), "Enum\\%s\\%s", productId, deviceId), productId)) return false;
    KeyHolder probe;
    return probe.Open(HKEY_LOCAL_MACHINE, probePath);
}

// Formats into the working text and calls RemoveDevicesByHardwareId;
// a prefix that does not fit is left out, traced.
void RemoveByFormattedPrefix(const char* enumeratorName, const char* format, const char* text,
                             const char* classGuidText) {
    char prefix[WorkingTextSize];
    if (!Fits(FormatText(prefix, sizeof(prefix), format, text), text)) return;
    RemoveDevicesByHardwareId(enumeratorName, prefix, classGuidText);
}

}  // namespace

extern "C" int WINAPI RemoveLegacyPlayerRemnants(int playerIndex) {
    // The setup program passes back what FindLegacyPlayers reported; any
    // other number names no row, and nothing outside the catalogue is read.
    const LegacyPlayerEntry* row = LegacyPlayerAt(static_cast<unsigned int>(playerIndex));
    if (row == 0) {
        char line[IndexLineSize];
        FormatText(line, sizeof(line), "No legacy player at index %d\n", playerIndex);
        Trace(line);
        return 0;
    }
    const char* product = row->ProductId;
    const char* vendor = row->VendorId;
    const char* classGuid = row->ClassGuid;

    // The SCSI side, where the player's own enumerator is in the 95/98/Me
    // layout.
    if (LegacyEnumeratorPresent(product, "VEN_066F&DEV_3400") || LegacyEnumeratorPresent(product, "VEN_066F&DEV_3410")) {
        char padded[PaddedIdSize];
        PadProductId(padded, product);
        char scsiPrefix[WorkingTextSize];
        if (Fits(FormatText(scsiPrefix, sizeof(scsiPrefix), "%s%s", vendor, padded), vendor)) {  // 19 characters
            RemoveDevicesByHardwareId("SCSI", scsiPrefix, 0);
            EnumAndDestroySCSIKeys(scsiPrefix);
        }
    }

    RemoveByFormattedPrefix(product, "%s\\VEN_066F&DEV_3400", product, 0);
    RemoveByFormattedPrefix(product, "%s\\VEN_066F&DEV_3410", product, 0);

    RemoveDevicesByHardwareId("USB", "USB\\Vid_066F&Pid_3400", classGuid);
    RemoveDevicesByHardwareId("USB", "USB\\Vid_066F&Pid_3410", classGuid);

    // Device keys of the row's class: 3410 before 3400 here.
    const char* usbPath = IsNtPlatform() ? "SYSTEM\\CurrentControlSet\\Enum\\USB" : "Enum\\USB";
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, usbPath, "Vid_066F&Pid_3410", classGuid);
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, usbPath, "Vid_066F&Pid_3400", classGuid);

    const char* enumRoot = IsNtPlatform() ? "SYSTEM\\CurrentControlSet\\Enum" : "Enum";
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, enumRoot, product, classGuid);

    KeyHolder database;
    if (!database.Open(HKEY_LOCAL_MACHINE, kCriticalDeviceDatabase)) return 0;
    char entry[WorkingTextSize];
    if (Fits(FormatText(entry, sizeof(entry), "%s#ven_066f&dev_3400", product), product))
        RegDeleteKeyA(database.Get(), entry);
    if (Fits(FormatText(entry, sizeof(entry), "%s#ven_066f&dev_3410", product), product))
        RegDeleteKeyA(database.Get(), entry);
    return 0;
}
