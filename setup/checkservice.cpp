#include "frame/frame.h"
#include "frame/px714sup.h"

namespace {

const char kClassKeyFormat[] = "System\\CurrentControlSet\\Services\\Class\\%s";
const char kPlayerClassGuid[] = "{24ba5da1-036a-4499-a763-41480869e207}";

// NT family: stops and deletes the service of that name. 1 when such a
// service is left behind (it could not be opened or deleted), else 0.
int RemoveServiceByName(const char* serviceName) {
    SC_HANDLE manager = OpenSCManagerA(0, 0, GENERIC_READ);
    Trace("\nOpening Service Manager");
    if (manager == 0) {
        Trace("\nFailed to open Service Manager\n");
        return 0;
    }
    Trace("\nChecking for existing service");
    // The lookup only tells whether the service exists. A display name too
    // long for the buffer is reported as ERROR_INSUFFICIENT_BUFFER, and that
    // service exists all the same.
    char text[128];
    DWORD size = sizeof(text);
    if (!GetServiceDisplayNameA(manager, serviceName, text, &size) && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        Trace("\nService not found\n");
        CloseServiceHandle(manager);
        return 0;
    }
    Trace("\nExisting service name found\n");
    SC_HANDLE service = OpenServiceA(manager, serviceName, SERVICE_ALL_ACCESS);
    if (service == 0) {
        Trace("\nFailed to open a handle to the service");
        CloseServiceHandle(manager);
        return 1;
    }
    Trace("\nOpened service handle OK; stopping service");
    SERVICE_STATUS status;
    if (ControlService(service, SERVICE_CONTROL_STOP, &status))
        Trace("\nService stopped");
    else
        Trace("\nFailed to stop service");  // not running, or refusing: the deletion goes ahead
    int result = 0;
    if (DeleteService(service)) {
        Trace("\nService deleted\n");
    } else {
        Trace("\nFailed to delete service\n");
        result = 1;
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}

// Reads the registration's "Class" value into text (128 bytes). False when
// it cannot be read as a class key name: missing, too long for the buffer,
// without its terminator, empty, or holding a backslash. An empty name would
// address the whole class tree, and a backslash would reach below another
// class key ("MEDIA\\0000" names an instance of the MEDIA class). Every
// backslash byte counts, a double-byte character's second byte too: the
// deletion is then left out rather than risked.
bool ReadClassName(HKEY key, char* text) {
    for (int i = 0; i < 128; ++i) text[i] = 0;
    DWORD type = REG_SZ;
    DWORD size = 128;
    if (RegQueryValueExA(key, "Class", 0, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) return false;
    if (size >= 128 && text[127] != 0) return false;  // all 128 bytes without a terminator
    for (int i = 0; i < 128 && text[i] != 0; ++i)
        if (text[i] == '\\') return false;
    return text[0] != 0;
}

// 95/98/Me family: removes the player's class registration and the class
// key it names. 1 when the registration was there, else 0.
int RemoveClassRegistration() {
    Trace("\nChecking for service\n");
    char path[128];
    FormatText(path, sizeof(path), kClassKeyFormat, kPlayerClassGuid);  // fits: 78 characters
    KeyHolder key;
    if (!key.Open(HKEY_LOCAL_MACHINE, path)) return 0;
    Trace("Service class found\n");
    char text[128];
    bool haveClass = ReadClassName(key.Get(), text);
    key.Close();
    if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS) Trace("Service class deleted\n");
    if (!haveClass) return 1;
    if (!FormatText(path, sizeof(path), kClassKeyFormat, text)) {
        Trace("The class name is too long for its registry path; its key is left in place.\n");
        return 1;
    }
    if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS) Trace("Service deleted\n");
    return 1;
}

}  // namespace

// NT: stops and deletes an installed service of this name. 95/98/Me: the
// name is not used; removes the player's class registration instead.
extern "C" int WINAPI CheckServiceName(const char* serviceName) {
    if (IsNtPlatform()) return RemoveServiceByName(serviceName);
    return RemoveClassRegistration();
}
