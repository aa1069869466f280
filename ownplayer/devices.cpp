// RemoveDeviceRegEntries: the device nodes and enumerator keys that earlier
// installations of this player left on a Windows 95/98 machine.
#include "engine/destroy.h"
#include "engine/devremove.h"
#include "frame/frame.h"
#include "frame/px714sup.h"
#include "ownplayer/identity.h"

extern "C" int WINAPI RemoveDeviceRegEntries(void) {
    // NT 4.0 passes this probe too; the NT forms of the paths serve it.
    if (!IsWindows9598()) return 0;

    char product[12];
    PadProductId(product, kPlayerModel);
    char text[64];
    // All texts are built from the player's constants and fit their field.
    FormatText(text, sizeof(text), "%s%s", kPlayerScsiVendor, product);
    RemoveDevicesByHardwareId("SCSI", text, 0);
    FormatText(text, sizeof(text), "%s\\VEN_%s&DEV_%s", kPlayerModel, kPlayerUsbVendor, kPlayerEnumProduct);
    RemoveDevicesByHardwareId(kPlayerModel, text, 0);
    FormatText(text, sizeof(text), "USB\\%s", kPlayerUsbIdentity);
    RemoveDevicesByHardwareId("USB", text, kPlayerUsbClass);
    FormatText(text, sizeof(text), "USB\\%s", kPlayerUsbIdentity2);
    RemoveDevicesByHardwareId("USB", text, kPlayerUsbClass);

    // Device nodes went through the device installer; now the enumerator
    // keys it left, then the model's own enumerator key.
    const char* usbParent = IsNtPlatform() ? "SYSTEM\\CurrentControlSet\\Enum\\USB" : "Enum\\USB";
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, usbParent, kPlayerUsbIdentity, kPlayerUsbClass);
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, usbParent, kPlayerUsbIdentity2, kPlayerUsbClass);

    FormatText(text, sizeof(text), IsNtPlatform() ? "SYSTEM\\CurrentControlSet\\Enum\\%s" : "Enum\\%s", kPlayerModel);
    Trace("Deleting model: ");
    Trace(text);
    Trace("\n");
    LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, text);
    if (status != ERROR_SUCCESS) {
        char line[64];
        FormatText(line, sizeof(line), "error deleting key - %x\n", static_cast<unsigned>(status));
        Trace(line);
    }
    return 0;
}
