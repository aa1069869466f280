// RemoveLegacyPlayerDrivers: the legacy players' driver registrations. The
// 95/98 layout keeps driver classes under Services\Class, named by class
// name, and the miniport's adapter instances under its SCSIAdapter class;
// every other layout keeps classes under Control\Class, named by GUID, and
// the drivers as services.
#include "frame/frame.h"
#include "frame/px714sup.h"
#include "legacy/catalogue.h"

namespace {

const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";
const char kAdapterClassKey[] = "SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter";
const char kClassRoot9598[] = "SYSTEM\\CurrentControlSet\\Services\\Class";
const char kClassRootNt[] = "SYSTEM\\CurrentControlSet\\Control\\Class";

// The services' deeper keys before each service key, so that NT, which
// refuses a key that still has subkeys, can take them all.
const char* const kServiceKeys[9] = {
    "Vxscsi\\Enum",  "Vxscsi\\Parameters\\Device", "Vxscsi\\Parameters\\PnpInterface",
    "Vxscsi\\Parameters", "Vxscsi\\Security", "Vxscsi\\",
    "Mp3Drv\\Enum",  "Mp3Drv\\Security", "Mp3Drv",
};

enum { kKeyPathSize = 128, kTraceSize = 120, kPortDriverSize = 16, kClassNameSize = 32, kInfPathSize = 32,
       kAdapterCount = 38, kInstanceCount = 30 };

// 95/98 layout: adapter instances 0000 to 0037 whose port driver is the
// legacy miniport.
void RemoveScsiAdapters() {
    for (int i = 0; i < kAdapterCount; ++i) {
        char path[kKeyPathSize];
        if (!FormatText(path, sizeof path, "%s\\%04d", kAdapterClassKey, i)) continue;
        KeyHolder adapter;
        if (!adapter.Open(HKEY_LOCAL_MACHINE, path)) continue;
        char portDriver[kPortDriverSize];
        bool read = ReadTextValue(adapter.Get(), "PortDriver", portDriver, sizeof portDriver);
        adapter.Close();
        if (!read || CompareNoCase(portDriver, "VxScsi.MPD") != 0) continue;

        char line[kTraceSize];
        if (FormatText(line, sizeof line, "\t\tSCSI index: %04d   VxScsi InfSection: %s\n", i, portDriver)) Trace(line);
        char number[8];
        FormatText(number, sizeof number, "%04d", i);
        KeyHolder adapters;
        if (adapters.Open(HKEY_LOCAL_MACHINE, kAdapterClassKey)) RegDeleteKeyA(adapters.Get(), number);
    }
}

void RemoveServices() {
    KeyHolder services;
    if (!services.Open(HKEY_LOCAL_MACHINE, kServicesKey)) {
        Trace("Error opening Services key\n");
        return;
    }
    for (int i = 0; i < 9; ++i) RegDeleteKeyA(services.Get(), kServiceKeys[i]);
}

// True when a class name read on the 95/98 layout can name a class key: an
// empty name would address the class root itself, and a backslash would
// reach into another key.
bool IsClassKeyName(const char* name) {
    if (name[0] == 0) return false;
    for (const char* p = name; *p != 0; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != 0) {
            ++p;
            continue;
        }
        if (*p == '\\') return false;
    }
    return true;
}

// The class key N: its OEM name when it has one, otherwise its driver
// instance keys 0000 to 0029 one by one.
void RemoveClassInstances(const char* classRoot, const char* classKeyName) {
    char classPath[kKeyPathSize];
    if (!FormatText(classPath, sizeof classPath, "%s\\%s", classRoot, classKeyName)) {
        TraceTooLong("class key path");
        return;
    }
    KeyHolder classKey;
    if (!classKey.Open(HKEY_LOCAL_MACHINE, classPath)) return;
    char infPath[kInfPathSize];
    bool read = ReadTextValue(classKey.Get(), "InfPath", infPath, sizeof infPath);
    classKey.Close();

    if (read) {
        char line[kTraceSize];
        if (FormatText(line, sizeof line, "\t\tMp3Drv OEM Name: %s\n", infPath)) Trace(line);
        return;
    }
    for (int i = 0; i < kInstanceCount; ++i) {
        char path[kKeyPathSize];
        if (!FormatText(path, sizeof path, "%s\\%04d", classPath, i)) continue;
        KeyHolder instance;
        if (!instance.Open(HKEY_LOCAL_MACHINE, path)) continue;
        instance.Close();
        char number[8];
        FormatText(number, sizeof number, "%04d", i);
        // A class key that no longer opens leaves this instance alone.
        if (classKey.Open(HKEY_LOCAL_MACHINE, classPath)) {
            RegDeleteKeyA(classKey.Get(), number);
            classKey.Close();
        }
    }
}

// One catalogue row's class: G is its GUID text as stored.
void SweepClass(const char* classRoot, const char* classGuid, bool layout9598) {
    char path[kKeyPathSize];
    if (!FormatText(path, sizeof path, "%s\\%s", classRoot, classGuid)) {
        TraceTooLong("class key path");
        return;
    }
    KeyHolder guidKey;
    if (!guidKey.Open(HKEY_LOCAL_MACHINE, path)) return;
    char className[kClassNameSize];
    bool classRead = ReadTextValue(guidKey.Get(), "Class", className, sizeof className);
    guidKey.Close();

    // On the 95/98 layout the class key is named by the class name; a row
    // whose name cannot be read, or is empty, has no class key of its own
    // and its class-name steps are left out. Elsewhere it is G itself.
    const char* classKeyName = classGuid;
    bool nameSteps = true;
    if (layout9598) {
        classKeyName = className;
        nameSteps = classRead && IsClassKeyName(className);
    }
    if (nameSteps) RemoveClassInstances(classRoot, classKeyName);

    KeyHolder root;
    if (root.Open(HKEY_LOCAL_MACHINE, classRoot)) {
        RegDeleteKeyA(root.Get(), classGuid);
        if (layout9598 && nameSteps) RegDeleteKeyA(root.Get(), classKeyName);
    }
}

}  // namespace

extern "C" int WINAPI RemoveLegacyPlayerDrivers(void) {
    // The layout follows IsWindows9598 alone: NT 4.0 uses the 95/98 layout,
    // Windows Me the other.
    const bool layout9598 = IsWindows9598() != 0;
    const char* classRoot;
    if (layout9598) {
        RemoveScsiAdapters();
        classRoot = kClassRoot9598;
    } else {
        RemoveServices();
        classRoot = kClassRootNt;
    }
    for (int row = 0; row < LegacyPlayerCount; ++row) SweepClass(classRoot, LegacyPlayerCatalogue[row].ClassGuid, layout9598);
    RegFlushKey(HKEY_LOCAL_MACHINE);
    return 1;
}
