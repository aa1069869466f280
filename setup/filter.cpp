#include "frame/frame.h"
#include "frame/px714sup.h"

namespace {

const char kServiceKeyFormat[] = "SYSTEM\\CurrentControlSet\\Services\\%s";
const char kNotInstalled[] = "Vxfilter could not be installed.\n";

void TraceBanner() {
    Trace("\nVxfilter.sys Simple Installation Aid\n");
    Trace("Part of the PX714 setup support library.\n");
    Trace("(c) the px714sup developers. All rights reserved.\n");
}

// The system's text for code into message (260 bytes, cleared first: a
// code without text leaves it empty).
void FormatErrorText(DWORD code, char* message) {
    for (int i = 0; i < MAX_PATH; ++i) message[i] = 0;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, 0, code, 0, message, MAX_PATH, 0);
}

// Copies the service name into its 24-byte buffer, or traces why it cannot:
// a shortened name would name a different service.
bool TakeServiceName(char* name, size_t capacity, const char* serviceName) {
    if (CopyText(name, capacity, serviceName)) return true;
    Trace("The service name is longer than 23 characters.\n");
    return false;
}

// The driver path must fit its 260-byte buffer with its terminator.
bool CheckDriverPath(const char* driverPath) {
    if (driverPath == 0 || TextLength(driverPath) < MAX_PATH) return true;
    Trace("The driver path is longer than 259 characters.\n");
    return false;
}

// Opens the manager with full access; on failure traces the line and the
// system's text and gives back the code through *code.
SC_HANDLE OpenManager(DWORD* code) {
    SC_HANDLE manager = OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS);
    if (manager != 0) return manager;
    Trace("The Service Control Manager could not be opened.\n");
    *code = GetLastError();
    char message[MAX_PATH];
    FormatErrorText(*code, message);
    Trace(message);
    return 0;
}

// Deletes the service that could not be set up, and closes both handles.
void Abandon(SC_HANDLE service, SC_HANDLE manager) {
    DeleteService(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

}  // namespace

// Creates (or takes over) the filter-driver service, removes its ImagePath
// and starts it. An error code when the manager or the service cannot be
// reached; 0 on every path after that, where only the trace tells success
// from a failure that deleted the service again.
extern "C" int WINAPI InstallFilter(const char* serviceName, const char* driverPath) {
    TraceBanner();
    char name[24];
    char group[24];
    char driver[MAX_PATH];
    char message[MAX_PATH];
    char keyPath[MAX_PATH];
    // Lengths are checked before the manager is asked anything.
    if (!TakeServiceName(name, sizeof(name), serviceName)) return ERROR_INVALID_NAME;
    if (!CheckDriverPath(driverPath)) return ERROR_INVALID_NAME;
    CopyText(driver, sizeof(driver), driverPath);

    DWORD code = 0;
    SC_HANDLE manager = OpenManager(&code);
    if (manager == 0) return static_cast<int>(code);
    CopyText(group, sizeof(group), "filter");

    SC_HANDLE service = CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_FILE_SYSTEM_DRIVER,
                                       SERVICE_BOOT_START, SERVICE_ERROR_NORMAL, driver, group, 0, 0, 0, 0);
    if (service == 0) {
        code = GetLastError();
        if (code == ERROR_SERVICE_EXISTS) {
            // Take the existing service over as it is configured.
            service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
            code = GetLastError();
        }
        if (service == 0) {
            FormatErrorText(code, message);
            Trace(kNotInstalled);
            Trace(message);
            CloseServiceHandle(manager);
            return static_cast<int>(code);
        }
    }

    FormatText(keyPath, sizeof(keyPath), kServiceKeyFormat, name);  // fits: the name has at most 23 characters
    KeyHolder key;
    if (!key.OpenEx(HKEY_LOCAL_MACHINE, keyPath, KEY_ALL_ACCESS)) {
        Abandon(service, manager);
        Trace("Key could not be opened for driver.\n");
        return 0;
    }
    // A key without ImagePath is already as wanted: an earlier installation
    // of this name removed it, and deleting its service would undo that
    // installation.
    LONG status = RegDeleteValueA(key.Get(), "ImagePath");
    key.Close();
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        Abandon(service, manager);
        Trace("Could not delete ImagePath key\n");
        return 0;
    }

    // A service that is already running is as wanted too.
    if (!StartServiceA(service, 0, 0) && (code = GetLastError()) != ERROR_SERVICE_ALREADY_RUNNING) {
        Abandon(service, manager);
        FormatText(message, sizeof(message), "Vxfilter could not be started (error %u).\n", static_cast<unsigned>(code));
        Trace(message);
        return 0;
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    Trace("Driver successfully installed.\n\n");
    Trace("For the driver to take effect, the system must now be restarted.\n");
    Trace("Please restart the system after closing all applications and saving all data\n");
    return 0;
}

// Requests the deletion of the service; the driver path is not used beyond
// the check that it fits, as InstallFilter's does. 0 once the service could
// be opened, whatever the deletion gives; otherwise the error code.
extern "C" int WINAPI RemoveFilter(const char* serviceName, const char* driverPath) {
    TraceBanner();
    char name[24];
    if (!TakeServiceName(name, sizeof(name), serviceName)) return ERROR_INVALID_NAME;
    if (!CheckDriverPath(driverPath)) return ERROR_INVALID_NAME;

    DWORD code = 0;
    SC_HANDLE manager = OpenManager(&code);
    if (manager == 0) return static_cast<int>(code);

    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    if (service == 0) {
        Trace("The Vxfilter service could not be opened.\n");
        code = GetLastError();
        char message[MAX_PATH];
        FormatErrorText(code, message);
        Trace(message);
        CloseServiceHandle(manager);
        return static_cast<int>(code);
    }
    DeleteService(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return 0;
}
