// The legacy players this library knows: one constant table, addressed by a
// row index 0 to 37 that FindLegacyPlayers reports and the removal exports
// take back.
#ifndef PX714SUP_LEGACY_CATALOGUE_H
#define PX714SUP_LEGACY_CATALOGUE_H

#include <stddef.h>

struct LegacyPlayerEntry {
    char UninstallKey[40];  // key name below ...\CurrentVersion\Uninstall
    char ClassGuid[40];     // braced device setup class GUID, case as stored
    char VendorId[10];      // SCSI vendor identification, always 8 characters
    char ProductId[12];     // SCSI product identification, 3 to 11 characters
};

enum { LegacyPlayerCount = 38 };

extern const LegacyPlayerEntry LegacyPlayerCatalogue[LegacyPlayerCount];

// The row for an index, or null when the index names no row.
const LegacyPlayerEntry* LegacyPlayerAt(unsigned int index);

// Display names two players register under, and the names this library
// reports and removes them by.
struct DisplayNameAlias {
    const char* registered;  // the player's DisplayName value
    const char* reported;    // the name FindLegacyPlayers reports
};
enum { DisplayNameAliasCount = 2 };
extern const DisplayNameAlias DisplayNameAliases[DisplayNameAliasCount];

#endif  // PX714SUP_LEGACY_CATALOGUE_H
