// The drive context-menu shell extension: its approval entry, its class
// registration and the drive menu handler's "Default" value.
#ifndef PX714SUP_LEGACY_MENUEXT_H
#define PX714SUP_LEGACY_MENUEXT_H

// Unregisters the extension whose CLSID is clsidText, a braced GUID text of
// 38 characters used as key and value name exactly as given. Each step
// stands alone: a key that does not open leaves its step out. Traces
// nothing, unless clsidText is not a braced GUID text: then nothing is
// touched and one line says so.
void UnregisterDriveMenuExtension(const char* clsidText);

#endif  // PX714SUP_LEGACY_MENUEXT_H
