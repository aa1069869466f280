/* A kernel driver that does nothing: it loads, starts and unloads. The
 * conformance driver writes it where a scenario's files say "driver-image",
 * so that a driver service of the scenario can really start under Wine. */
typedef long NTSTATUS;
typedef struct DriverObject DriverObject;

enum { DriverUnloadOffset = 0x34 }; /* DRIVER_OBJECT.DriverUnload, 32-bit layout */

static void __stdcall Unload(DriverObject* driver) { (void)driver; }

NTSTATUS __stdcall DriverEntry(DriverObject* driver, void* registryPath) {
    (void)registryPath;
    /* An unload routine makes the driver stoppable. */
    *(void (__stdcall**)(DriverObject*))((char*)driver + DriverUnloadOffset) = Unload;
    return 0;
}
