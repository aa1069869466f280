#include "engine/destroy.h"

namespace {

enum {
    KeyPathSize = 256,     // "%s\\%s": parent path and key name
    SubkeyNameSize = 256,  // a registry key name has at most 255 characters
    ClassValueSize = 80,   // a "ClassGUID" of up to 79 characters
    StatusTextSize = 12,
    ErrorTextSize = 32,
    ScsiPathSize = 64,
    ScsiNameSize = 128,    // longer device key names end the SCSI walk
    PaddedIdLength = 11,
};

// True when the key at `key` has a direct subkey whose "ClassGUID" equals
// classGuidText. Every name read is traced, the read that ends the walk
// too (it repeats the last name, or is an empty line). The walk runs to the
// end whatever it finds.
bool HasSubkeyOfClass(HKEY key, const char* classGuidText) {
    char name[SubkeyNameSize] = "";
    bool match = false;
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = SubkeyNameSize;
        FILETIME written;
        LONG status = RegEnumKeyExA(key, index, name, &nameSize, 0, 0, 0, &written);
        Trace(name);
        Trace("\n");
        if (status != ERROR_SUCCESS) break;
        KeyHolder probe;
        if (!probe.Open(key, name)) continue;
        char value[ClassValueSize];
        for (int i = 0; i < ClassValueSize; ++i) value[i] = 0;
        DWORD type = REG_SZ;
        DWORD size = ClassValueSize;
        status = RegQueryValueExA(probe.Get(), "ClassGUID", 0, &type, reinterpret_cast<BYTE*>(value), &size);
        probe.Close();
        if (status != ERROR_SUCCESS) continue;
        // Data stored without its terminator end where they end; 80 bytes
        // without one are longer than any class text that can match.
        if (size < ClassValueSize) value[size] = 0;
        if (value[ClassValueSize - 1] != 0) continue;
        if (CompareNoCase(value, classGuidText) == 0) match = true;
    }
    return match;
}

}  // namespace

int EnumAndDestroyKeys(HKEY rootKey, const char* parentPath, const char* keyName, const char* classGuidText) {
    Trace("EnumAndDestroyKeys\n");
    // An empty name would make the key path name the parent itself.
    if (keyName[0] == 0) {
        Trace("No key name\n");
        return 0;
    }
    char keyPath[KeyPathSize];
    if (!FormatText(keyPath, sizeof(keyPath), "%s\\%s", parentPath, keyName)) {
        // Never cut into a shorter path: that would name another key.
        Trace("Key path too long: ");
        Trace(keyName);
        Trace("\n");
        return 0;
    }
    KeyHolder key;
    if (!key.OpenEx(rootKey, keyPath, KEY_ALL_ACCESS)) return 0;
    Trace("Found: ");
    Trace(keyPath);
    Trace("\n");

    if (classGuidText != 0 && !HasSubkeyOfClass(key.Get(), classGuidText)) return 0;

    // Deletes the subkeys, deepest first. The index is not held back after a
    // deletion: the registry renumbers the remaining subkeys, so the one that
    // moves into the freed number is passed over here and left to the final
    // deletion (which takes it along on 95/98/Me and is refused on NT).
    char name[SubkeyNameSize] = "";
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = SubkeyNameSize;
        FILETIME written;
        if (RegEnumKeyExA(key.Get(), index, name, &nameSize, 0, 0, 0, &written) != ERROR_SUCCESS) break;
        DWORD subkeys = 0;
        KeyHolder child;
        if (child.OpenEx(key.Get(), name, KEY_ALL_ACCESS)) {
            Trace("Deleting ");
            Trace(name);
            Trace("\n");
            RegQueryInfoKeyA(child.Get(), 0, 0, 0, &subkeys, 0, 0, 0, 0, 0, 0, 0);
            child.Close();
            if (subkeys != 0) {
                // The inner call works on the child's own path with no handle
                // held here, and ends by deleting the child itself.
                key.Close();
                EnumAndDestroyKeys(rootKey, keyPath, name, 0);
                if (!key.OpenEx(rootKey, keyPath, KEY_ALL_ACCESS)) {
                    // Nothing left to delete the child's name on.
                    Trace("Key not reopened: ");
                    Trace(keyPath);
                    Trace("\n");
                    break;
                }
            }
        }
        LONG status = RegDeleteKeyA(key.Get(), name);
        if (status != ERROR_SUCCESS) {
            char statusText[StatusTextSize];
            FormatText(statusText, sizeof(statusText), "%x", static_cast<unsigned int>(status));
            Trace("status: ");
            Trace(statusText);
            Trace("\n");
            break;
        }
    }
    key.Close();

    KeyHolder parent;
    if (!parent.Open(rootKey, parentPath)) {
        Trace("Parent key not opened: ");
        Trace(parentPath);
        Trace("\n");
        return 0;
    }
    Trace("Deleting: ");
    Trace(keyPath);
    Trace("\n");
    LONG status = RegDeleteKeyA(parent.Get(), keyName);
    if (status != ERROR_SUCCESS) {
        char errorText[ErrorTextSize];
        FormatText(errorText, sizeof(errorText), "\nError deleting key: %x\n", static_cast<unsigned int>(status));
        Trace(errorText);
    }
    return 0;
}

void EnumAndDestroySCSIKeys(const char* deviceIdPrefix) {
    int layout9598 = IsWindows9598();
    Trace("EnumAndDestroySCSIKeys: ");
    Trace(deviceIdPrefix);
    Trace("\n");
    char enumeratorPath[ScsiPathSize];
    CopyText(enumeratorPath, sizeof(enumeratorPath), layout9598 ? "Enum\\SCSI" : "SYSTEM\\CurrentControlSet\\Enum\\SCSI");
    KeyHolder enumerator;
    if (!enumerator.Open(HKEY_LOCAL_MACHINE, enumeratorPath)) return;

    size_t prefixLength = TextLength(deviceIdPrefix);
    char name[ScsiNameSize] = "";
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = ScsiNameSize;
        FILETIME written;
        LONG status = RegEnumKeyExA(enumerator.Get(), index, name, &nameSize, 0, 0, 0, &written);
        Trace(name);
        Trace("\n");
        if (status != ERROR_SUCCESS) break;
        if (CompareNoCaseN(deviceIdPrefix, name, prefixLength) != 0) continue;
        Trace("\nEnumAndDestory SCSI key: ");
        Trace(name);
        Trace("\n");
        // Not held back either: a key that moves into a destroyed key's
        // number is passed over.
        EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, enumeratorPath, name, 0);
    }
}

void PadProductId(char* paddedId, const char* productIdText) {
    bool ended = false;
    for (int i = 0; i < PaddedIdLength; ++i) {
        if (!ended && productIdText[i] == 0) ended = true;
        paddedId[i] = ended ? '_' : productIdText[i];
    }
    paddedId[PaddedIdLength] = 0;
}
