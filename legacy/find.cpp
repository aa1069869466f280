#include "frame/frame.h"
#include "frame/px714sup.h"
#include "legacy/catalogue.h"

namespace {

const char kUninstallFormat[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s";

// Reads the row's DisplayName into value (128 bytes); true when the key
// exists and the value was read whole.
bool ReadDisplayName(const LegacyPlayerEntry& row, char* value) {
    char path[256];
    if (!FormatText(path, sizeof(path), kUninstallFormat, row.UninstallKey)) return false;
    KeyHolder key;
    if (!key.Open(HKEY_LOCAL_MACHINE, path)) return false;
    for (int i = 0; i < 128; ++i) value[i] = 0;
    DWORD type = REG_SZ;
    DWORD size = 128;
    LONG status = RegQueryValueExA(key.Get(), "DisplayName", 0, &type,
                                   reinterpret_cast<BYTE*>(value), &size);
    key.Close();
    if (status != ERROR_SUCCESS) return false;
    // Data without a terminator (a value stored without its zero, or of
    // another type) end at the bytes read, and never past 127 characters.
    DWORD end = size < 128 ? size : 127;
    for (DWORD i = 0; i < end; ++i) {
        if (value[i] == 0) return true;
    }
    value[end] = 0;
    return true;
}

}  // namespace

extern "C" int WINAPI FindLegacyPlayers(unsigned short* playerIndex, char* displayName) {
    if (playerIndex == 0 || displayName == 0) return 0;
    char value[128];
    unsigned int row = 0;
    while (row < LegacyPlayerCount && !ReadDisplayName(LegacyPlayerCatalogue[row], value)) ++row;
    if (row == LegacyPlayerCount) return 0;

    // Registered to reported; at most one alias applies, the first pair first.
    const char* chosen = value;
    for (int i = 0; i < DisplayNameAliasCount; ++i) {
        if (CompareNoCase(value, DisplayNameAliases[i].registered) == 0) {
            chosen = DisplayNameAliases[i].reported;
            break;
        }
    }
    size_t length = TextLength(chosen);  // at most 127: both aliases and the value fit
    for (size_t i = 0; i <= length; ++i) displayName[i] = chosen[i];
    *playerIndex = static_cast<unsigned short>(row);
    return 1;
}
