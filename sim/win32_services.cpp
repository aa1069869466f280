// The service control manager functions of platform/win32.h over the
// current machine. Each failure sets the last error and returns FALSE or a
// null handle; the service database is the registry (see sim/services.h).
#include <cstring>

#include "sim/machine.h"

using sim::Current;
using sim::Key;
using sim::ServiceManager;

namespace {

const DWORD kStandardRightsRead = 0x00020000;  // READ_CONTROL
const DWORD kServiceQueryConfig = 0x0001;
const DWORD kServiceChangeConfig = 0x0002;
const DWORD kServiceEnumerateDependents = 0x0008;
const DWORD kServicePauseContinue = 0x0040;
const DWORD kServiceInterrogate = 0x0080;
const DWORD kServiceUserDefinedControl = 0x0100;
const DWORD kManagerLock = 0x0008;
const DWORD kManagerQueryLockStatus = 0x0010;
const DWORD kManagerModifyBootConfig = 0x0020;
const DWORD kGenericExecute = 0x20000000u;

// Generic rights to the manager's own.
DWORD MapManagerAccess(DWORD access) {
    DWORD mapped = access & ~(GENERIC_READ | GENERIC_WRITE | kGenericExecute | GENERIC_ALL);
    if (access & GENERIC_READ) mapped |= kStandardRightsRead | SC_MANAGER_ENUMERATE_SERVICE | kManagerQueryLockStatus;
    if (access & GENERIC_WRITE) mapped |= SC_MANAGER_CREATE_SERVICE | kManagerModifyBootConfig;
    if (access & kGenericExecute) mapped |= SC_MANAGER_CONNECT | kManagerLock;
    if (access & GENERIC_ALL) mapped |= SC_MANAGER_ALL_ACCESS;
    return mapped | SC_MANAGER_CONNECT;  // implied by opening the manager at all
}

// Generic rights to a service's own.
DWORD MapServiceAccess(DWORD access) {
    DWORD mapped = access & ~(GENERIC_READ | GENERIC_WRITE | kGenericExecute | GENERIC_ALL);
    if (access & GENERIC_READ)
        mapped |= kStandardRightsRead | kServiceQueryConfig | SERVICE_QUERY_STATUS | kServiceInterrogate |
                  kServiceEnumerateDependents;
    if (access & GENERIC_WRITE) mapped |= kServiceChangeConfig;
    if (access & kGenericExecute) mapped |= SERVICE_START | SERVICE_STOP | kServicePauseContinue | kServiceUserDefinedControl;
    if (access & GENERIC_ALL) mapped |= SERVICE_ALL_ACCESS;
    return mapped;
}

BOOL Fail(DWORD code) {
    Current().lastError = code;
    return FALSE;
}

SC_HANDLE FailHandle(DWORD code) {
    Current().lastError = code;
    return nullptr;
}

// No service control manager on the 95/98/Me family.
bool HasManager() { return Current().IsNtFamily(); }

ServiceManager::Handle* ManagerHandle(SC_HANDLE handle) {
    ServiceManager::Handle* h = Current().services.Lookup(handle);
    return (h != nullptr && h->manager) ? h : nullptr;
}

ServiceManager::Handle* ServiceHandle(SC_HANDLE handle) {
    ServiceManager::Handle* h = Current().services.Lookup(handle);
    return (h != nullptr && !h->manager) ? h : nullptr;
}

DWORD ReadDword(const Key& key, const char* name, DWORD fallback) {
    const sim::Value* v = key.FindValue(name);
    if (v == nullptr || v->type != REG_DWORD || v->data.size() < 4) return fallback;
    DWORD value = 0;
    std::memcpy(&value, v->data.data(), 4);
    return value;
}

void WriteDword(Key* key, const char* name, DWORD value) { key->SetValue(name, REG_DWORD, &value, 4); }

void WriteText(Key* key, const char* name, DWORD type, const char* text) {
    key->SetValue(name, type, text, std::strlen(text) + 1);
}

bool IsDriverType(DWORD type) { return type == SERVICE_KERNEL_DRIVER || type == SERVICE_FILE_SYSTEM_DRIVER; }

bool ValidServiceType(DWORD type) {
    const DWORD interactive = 0x100;
    if (IsDriverType(type)) return true;
    DWORD process = type & ~interactive;
    return process == SERVICE_WIN32_OWN_PROCESS || process == SERVICE_WIN32_SHARE_PROCESS;
}

// One more than the highest tag among the other services of the group.
DWORD NextTag(const Key* self, const char* group) {
    DWORD highest = 0;
    for (auto& other : self->parent->subkeys) {
        if (other.get() == self) continue;
        const sim::Value* g = other->FindValue("Group");
        if (g == nullptr || g->type != REG_SZ) continue;
        std::string name(g->data.begin(), g->data.end());
        name.resize(std::strlen(name.c_str()));
        if (sim::CompareKeyNames(name, group) != 0) continue;
        DWORD tag = ReadDword(*other, "Tag", 0);
        if (tag > highest) highest = tag;
    }
    return highest + 1;
}

// A name the database can hold: not empty, at most 256 characters, no
// slash or backslash.
bool ValidName(std::string_view name) {
    return !name.empty() && name.size() <= 256 && name.find_first_of("\\/") == std::string_view::npos;
}

// The key behind a service handle; null when the key has gone behind the
// manager's back (then the handle no longer names anything).
Key* KeyOf(const ServiceManager::Handle& h) { return ServiceManager::FindServiceKey(Current().registry, h.service); }

}  // namespace

SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD access) {
    sim::Machine& m = Current();
    if (!HasManager()) return FailHandle(ERROR_CALL_NOT_IMPLEMENTED);
    if (auto code = m.CheckFault("OpenSCManagerA")) return FailHandle(*code);
    if (machineName != nullptr && *machineName != 0) return FailHandle(sim::kRpcServerUnavailable);
    if (databaseName != nullptr && sim::CompareKeyNames(databaseName, "ServicesActive") != 0)
        return FailHandle(sim::kErrorDatabaseDoesNotExist);
    ServiceManager::Handle h;
    h.manager = true;
    h.access = MapManagerAccess(access);
    return m.services.AddHandle(h);
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl, LPCSTR binaryPathName,
                         LPCSTR loadOrderGroup, LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                         LPCSTR password) {
    (void)dependencies;
    (void)serviceStartName;
    (void)password;
    sim::Machine& m = Current();
    if (!HasManager()) return FailHandle(ERROR_CALL_NOT_IMPLEMENTED);
    ServiceManager::Handle* owner = ManagerHandle(manager);
    if (owner == nullptr) return FailHandle(ERROR_INVALID_HANDLE);
    if ((owner->access & SC_MANAGER_CREATE_SERVICE) == 0) return FailHandle(ERROR_ACCESS_DENIED);
    if (serviceName == nullptr) return FailHandle(sim::kErrorInvalidAddress);
    if (auto code = m.CheckFault("CreateServiceA", serviceName)) return FailHandle(*code);
    if (!ValidName(serviceName)) return FailHandle(ERROR_INVALID_NAME);
    if (displayName != nullptr && std::strlen(displayName) > 256) return FailHandle(ERROR_INVALID_NAME);
    if (!ValidServiceType(serviceType) || startType > SERVICE_DISABLED || errorControl > SERVICE_ERROR_CRITICAL ||
        (startType <= SERVICE_SYSTEM_START && !IsDriverType(serviceType)) || binaryPathName == nullptr)
        return FailHandle(ERROR_INVALID_PARAMETER);
    // A tag orders the boot and system start drivers of one group.
    const bool hasGroup = loadOrderGroup != nullptr && *loadOrderGroup != 0;
    if (tagId != nullptr && (startType > SERVICE_SYSTEM_START || !hasGroup)) return FailHandle(ERROR_INVALID_PARAMETER);

    if (ServiceManager::FindServiceKey(m.registry, serviceName) != nullptr)
        return FailHandle(m.services.IsMarkedForDeletion(serviceName) ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                                      : ERROR_SERVICE_EXISTS);
    // The display name may be neither another service's name nor its
    // display name.
    std::string display = displayName != nullptr ? displayName : serviceName;
    if (Key* services = ServiceManager::ServicesKey(m.registry)) {
        for (auto& other : services->subkeys) {
            if (sim::CompareKeyNames(other->name, display) == 0 ||
                sim::CompareKeyNames(ServiceManager::DisplayNameOf(*other), display) == 0)
                return FailHandle(ERROR_DUPLICATE_SERVICE_NAME);
        }
    }

    Key* key = m.registry.CreatePath(std::string(ServiceManager::kServicesPath) + "\\" + serviceName);
    WriteDword(key, "Type", serviceType);
    WriteDword(key, "Start", startType);
    WriteDword(key, "ErrorControl", errorControl);
    WriteText(key, "ImagePath", REG_EXPAND_SZ, binaryPathName);
    if (hasGroup) WriteText(key, "Group", REG_SZ, loadOrderGroup);
    if (displayName != nullptr) WriteText(key, "DisplayName", REG_SZ, displayName);
    if (tagId != nullptr) {
        *tagId = NextTag(key, loadOrderGroup);
        WriteDword(key, "Tag", *tagId);
    }
    m.services.Forget(serviceName);  // nothing of an earlier service of this name lives on
    m.services.NoteCreated(serviceName);

    ServiceManager::Handle h;
    h.access = MapServiceAccess(access);
    h.service = key->name;
    return m.services.AddHandle(h);
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD access) {
    sim::Machine& m = Current();
    if (!HasManager()) return FailHandle(ERROR_CALL_NOT_IMPLEMENTED);
    if (ManagerHandle(manager) == nullptr) return FailHandle(ERROR_INVALID_HANDLE);
    if (serviceName == nullptr) return FailHandle(sim::kErrorInvalidAddress);
    if (auto code = m.CheckFault("OpenServiceA", serviceName)) return FailHandle(*code);
    if (*serviceName == 0) return FailHandle(ERROR_INVALID_NAME);
    Key* key = ServiceManager::FindServiceKey(m.registry, serviceName);
    if (key == nullptr) return FailHandle(ERROR_SERVICE_DOES_NOT_EXIST);
    ServiceManager::Handle h;
    h.access = MapServiceAccess(access);
    h.service = key->name;
    return m.services.AddHandle(h);
}

BOOL StartServiceA(SC_HANDLE service, DWORD argumentCount, LPCSTR* arguments) {
    (void)argumentCount;
    (void)arguments;
    sim::Machine& m = Current();
    if (!HasManager()) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
    ServiceManager::Handle* h = ServiceHandle(service);
    if (h == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if ((h->access & SERVICE_START) == 0) return Fail(ERROR_ACCESS_DENIED);
    Key* key = KeyOf(*h);
    if (key == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (auto code = m.CheckFault("StartServiceA", h->service)) return Fail(*code);
    if (m.services.IsMarkedForDeletion(h->service)) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    if (m.services.IsRunning(h->service)) return Fail(ERROR_SERVICE_ALREADY_RUNNING);
    if (ReadDword(*key, "Start", SERVICE_DEMAND_START) == SERVICE_DISABLED) return Fail(ERROR_SERVICE_DISABLED);
    if (DWORD code = m.services.StartResultOf(h->service)) return Fail(code);
    m.services.SetRunning(h->service, true);
    return TRUE;
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    sim::Machine& m = Current();
    if (!HasManager()) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
    ServiceManager::Handle* h = ServiceHandle(service);
    if (h == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (status == nullptr) return Fail(sim::kErrorInvalidAddress);
    DWORD needed = 0;
    if (control == SERVICE_CONTROL_STOP)
        needed = SERVICE_STOP;
    else if (control == SERVICE_CONTROL_INTERROGATE)
        needed = kServiceInterrogate;
    else
        return Fail(ERROR_INVALID_PARAMETER);  // other controls are not modelled
    if ((h->access & needed) == 0) return Fail(ERROR_ACCESS_DENIED);
    Key* key = KeyOf(*h);
    if (key == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (auto code = m.CheckFault("ControlService", h->service)) return Fail(*code);
    if (!m.services.IsRunning(h->service)) return Fail(ERROR_SERVICE_NOT_ACTIVE);
    if (control == SERVICE_CONTROL_STOP) m.services.SetRunning(h->service, false);
    std::memset(status, 0, sizeof(*status));
    status->dwServiceType = ReadDword(*key, "Type", 0);
    status->dwCurrentState = m.services.IsRunning(h->service) ? SERVICE_RUNNING : SERVICE_STOPPED;
    // A deletion that waited for the stop still waits for the last handle,
    // and this one is open.
    return TRUE;
}

BOOL DeleteService(SC_HANDLE service) {
    sim::Machine& m = Current();
    if (!HasManager()) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
    ServiceManager::Handle* h = ServiceHandle(service);
    if (h == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if ((h->access & DELETE) == 0) return Fail(ERROR_ACCESS_DENIED);
    if (KeyOf(*h) == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (auto code = m.CheckFault("DeleteService", h->service)) return Fail(*code);
    if (m.services.IsMarkedForDeletion(h->service)) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    // Only marked: the service and its key go once it is stopped and its
    // last handle is closed.
    m.services.SetMarked(h->service, true);
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    sim::Machine& m = Current();
    if (!HasManager()) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
    ServiceManager::Handle* h = m.services.Lookup(handle);
    if (h == nullptr) return Fail(ERROR_INVALID_HANDLE);
    std::string name = h->service;
    bool wasService = !h->manager;
    m.services.CloseHandle(handle);
    if (wasService) m.services.CollectIfDeleted(m.registry, name);
    return TRUE;
}

BOOL GetServiceDisplayNameA(SC_HANDLE manager, LPCSTR serviceName, LPSTR displayName, LPDWORD size) {
    sim::Machine& m = Current();
    if (!HasManager()) return Fail(ERROR_CALL_NOT_IMPLEMENTED);
    if (ManagerHandle(manager) == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (serviceName == nullptr || size == nullptr) return Fail(sim::kErrorInvalidAddress);
    if (auto code = m.CheckFault("GetServiceDisplayNameA", serviceName)) return Fail(*code);
    Key* key = ServiceManager::FindServiceKey(m.registry, serviceName);
    if (key == nullptr) return Fail(ERROR_SERVICE_DOES_NOT_EXIST);
    std::string display = ServiceManager::DisplayNameOf(*key);
    DWORD length = static_cast<DWORD>(display.size());
    // The size is in characters, without the terminator. A buffer that
    // cannot take the text and its terminator is too small: the ANSI call
    // then reports twice the length (the bytes of the text in UTF-16) and
    // leaves the empty text where it has room for one, as Wine shows it.
    if (displayName == nullptr || *size < length + 1) {
        if (displayName != nullptr && *size > 0) displayName[0] = 0;
        *size = length * 2;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(displayName, display.c_str(), length + 1);
    *size = length;
    return TRUE;
}
