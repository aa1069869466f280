/* px714sup.dll: setup support library of the ZUMRA PX714 USB MP3 player.
 *
 * Fourteen exports, stdcall (WINAPI), ANSI texts. Each export runs one
 * operation to its end on the caller's thread and reports its steps on the
 * debugger output channel (OutputDebugStringA). */
#ifndef PX714SUP_H
#define PX714SUP_H

#if defined(_WIN32)
#include <windows.h>
#else
#include "platform/win32.h"
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* 1. NT: stops and deletes the service NAME; 1 when it is left behind.
 *    95/98/Me: removes the player's class registration; 1 when it existed. */
int WINAPI CheckServiceName(const char* serviceName);
/* 2. 1 and both outputs written when a legacy player is installed, else 0.
 *    displayName must hold 128 bytes. */
int WINAPI FindLegacyPlayers(unsigned short* playerIndex, char* displayName);
/* 3. Installs and starts the filter-driver service; an error code or 0. */
int WINAPI InstallFilter(const char* serviceName, const char* driverPath);
/* 4. Copies the INF into the system's inf folder where none is; 0 or -1. */
int WINAPI RegisterInf(const char* sourceDirectory, const char* infFileName);
/* 5. Removes the device nodes of one DEVICETYPE_ code whose hardware ID
 *    begins with the prefix; 0 or 1. */
int WINAPI RemoveDeviceForDeviceType(const char* hardwareIdPrefix, unsigned int deviceType);
/*    Its device-type codes. */
#define DEVICETYPE_USB 0
#define DEVICETYPE_SCSI 1
#define DEVICETYPE_DISK 2
#define DEVICETYPE_USBSTOR 3
#define DEVICETYPE_USBMSC 4
#define DEVICETYPE_VOLUME 5
#define DEVICETYPE_MP3_USB 6
/* 6. Removes this player's device nodes and enumerator keys (95/98); 0. */
int WINAPI RemoveDeviceRegEntries(void);
/* 7. Deletes the service NAME; 0 once it could be opened, else an error code. */
int WINAPI RemoveFilter(const char* serviceName, const char* driverPath);
/* 8. Removes the legacy player FindLegacyPlayers reported; 1. May rewrite
 *    displayName in place. Only the low 16 bits of playerIndex are used. */
int WINAPI RemoveInstalledLegacyPlayer(unsigned int playerIndex, char* displayName);
/* 9. Removes the legacy players' driver services and class keys; 1. */
int WINAPI RemoveLegacyPlayerDrivers(void);
/* 10. Unregisters the legacy drive context-menu extension; 1. */
int WINAPI RemoveLegacyPlayerHook(void);
/* 11. Removes a legacy player's device nodes and keys; 0. */
int WINAPI RemoveLegacyPlayerRemnants(int playerIndex);
/* 12. Removes what earlier installations of this player left; 1. */
int WINAPI RemovePlayerRemnants(void);
/* 13. Removes the registry entries of this player's disk volumes; 0. */
int WINAPI RemoveVolumeRegEntries(void);
/* 14. Replaces the INF copy in the system's inf folder with one of the same
 *     or a newer version; 0 or -1. */
int WINAPI UpdateInf(const char* sourceDirectory, const char* infFileName);

#ifdef __cplusplus
}
#endif

#endif /* PX714SUP_H */
