// Device removal by hardware ID: the engine's device-node remover.
#ifndef PX714SUP_ENGINE_DEVREMOVE_H
#define PX714SUP_ENGINE_DEVREMOVE_H

#include "frame/frame.h"

// Removes through the class installer (DIF_REMOVE) every device node of the
// enumerator, of any class, present or not, that has a hardware ID
// beginning with hardwareIdPrefix (letter case ignored; "" matches every
// ID). With a classGuidText and an enumerator whose name begins with "USB",
// only nodes of that class. On 95/98/Me a removed SCSI node's key
// Enum\ENUMERATOR\ID goes too. Nothing is reported; every step is traced.
void RemoveDevicesByHardwareId(const char* enumeratorName, const char* hardwareIdPrefix, const char* classGuidText);

#endif  // PX714SUP_ENGINE_DEVREMOVE_H
