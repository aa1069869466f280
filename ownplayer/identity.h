// This player's identity, as its device nodes and driver keys carry it.
#ifndef PX714SUP_OWNPLAYER_IDENTITY_H
#define PX714SUP_OWNPLAYER_IDENTITY_H

const char kPlayerModel[] = "PX714";                 // also its own enumerator's name
const char kPlayerScsiVendor[] = "ZMRA714_";         // SCSI vendor ID, 8 characters
const char kPlayerUsbVendor[] = "066F";              // USB vendor ID
const char kPlayerEnumProduct[] = "8043";            // product ID in the enumerator's hardware ID
const char kPlayerUsbIdentity[] = "VID_066F&PID_8043";
const char kPlayerUsbIdentity2[] = "VID_066F&PID_0043";
const char kPlayerUsbClass[] = "{c6178071-6a08-481e-a679-e9d95a658998}";  // class of its USB nodes

#endif  // PX714SUP_OWNPLAYER_IDENTITY_H
