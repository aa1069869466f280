// RemoveLegacyPlayerHook and the removal sequence it shares with the own
// player's remnant sweep.
#include "frame/frame.h"
#include "frame/px714sup.h"
#include "legacy/menuext.h"

namespace {

const char kApprovedKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char kMenuHandlerKey[] = "Drive\\shellex\\ContextMenuHandlers\\Menu";
const char kLegacyHookClsid[] = "{343DA396-6C33-42EB-9478-C1EAF35FB908}";

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// "{8-4-4-4-12}" in hexadecimal digits of either case. An empty text would
// make the deletions below address the CLSID and Classes keys themselves.
bool IsBracedGuid(const char* text) {
    if (text == 0) return false;
    for (int i = 0; i < 38; ++i) {
        char c = text[i];
        bool fits = (i == 0) ? c == '{'
                  : (i == 37) ? c == '}'
                  : (i == 9 || i == 14 || i == 19 || i == 24) ? c == '-'
                  : IsHexDigit(c);
        if (!fits) return false;  // also stops at a terminator
    }
    return text[38] == 0;
}

// The class key parent\clsid below root: its InProcServer32 subkey first,
// then the key itself, only when the class key opened.
void RemoveClassKey(HKEY root, const char* parentPath, const char* clsidText) {
    char path[64];
    if (!FormatText(path, sizeof path, "%s\\%s", parentPath, clsidText)) return;  // 38 characters always fit
    KeyHolder classKey;
    if (!classKey.Open(root, path)) return;
    RegDeleteKeyA(classKey.Get(), "InProcServer32");
    classKey.Close();
    KeyHolder parent;
    if (parent.Open(root, parentPath)) RegDeleteKeyA(parent.Get(), clsidText);
}

}  // namespace

void UnregisterDriveMenuExtension(const char* clsidText) {
    if (!IsBracedGuid(clsidText)) {
        Trace("\tNot a CLSID text, extension left: ");
        Trace(clsidText != 0 ? clsidText : "");
        Trace("\n");
        return;
    }
    KeyHolder approved;
    if (approved.Open(HKEY_LOCAL_MACHINE, kApprovedKey)) {
        RegDeleteValueA(approved.Get(), clsidText);
        approved.Close();
    }
    RemoveClassKey(HKEY_CLASSES_ROOT, "CLSID", clsidText);
    // Directly below SOFTWARE\Classes, not below its CLSID key.
    RemoveClassKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes", clsidText);

    // The value named "Default", not the key's unnamed value.
    KeyHolder handler;
    if (handler.Open(HKEY_CLASSES_ROOT, kMenuHandlerKey)) {
        static const BYTE kEmpty[1] = {0};
        RegSetValueExA(handler.Get(), "Default", 0, REG_SZ, kEmpty, 1);
    }
}

extern "C" int WINAPI RemoveLegacyPlayerHook(void) {
    UnregisterDriveMenuExtension(kLegacyHookClsid);
    return 1;
}
