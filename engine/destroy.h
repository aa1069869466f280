// Registry key destroyers: the trees that device drivers and device
// installations leave behind. None reports to its caller; every step is
// traced.
#ifndef PX714SUP_ENGINE_DESTROY_H
#define PX714SUP_ENGINE_DESTROY_H

#include "frame/frame.h"

// Destroys rootKey\parentPath\keyName with its subkeys, depth first. With a
// classGuidText (braced GUID text), only when a direct subkey has a
// "ClassGUID" value equal to it (letter case ignored); null for no
// condition. Returns 0 on every path.
int EnumAndDestroyKeys(HKEY rootKey, const char* parentPath, const char* keyName, const char* classGuidText);

// Destroys every device key below the SCSI enumerator (Enum\SCSI in the
// 95/98 layout, SYSTEM\CurrentControlSet\Enum\SCSI otherwise) whose name
// begins with deviceIdPrefix, letter case ignored.
void EnumAndDestroySCSIKeys(const char* deviceIdPrefix);

// Writes productIdText padded or cut to exactly 11 characters ('_' fills)
// and a terminating zero into paddedId (at least 12 bytes).
void PadProductId(char* paddedId, const char* productIdText);

#endif  // PX714SUP_ENGINE_DESTROY_H
