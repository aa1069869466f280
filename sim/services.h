// The simulated machine's service control manager.
//
// The registry is the service database: a service exists for the manager
// when its key HKLM\SYSTEM\CurrentControlSet\Services\NAME exists, and its
// configuration is what that key's values say (Type, Start, ErrorControl,
// ImagePath, Group, DisplayName). The manager itself holds only what the
// registry does not: which services are running, which are marked for
// deletion, the result a start of each service gives, and the open handles.
//
// The 95/98/Me family has no service control manager: every call fails with
// ERROR_CALL_NOT_IMPLEMENTED.
#ifndef PX714SUP_SIM_SERVICES_H
#define PX714SUP_SIM_SERVICES_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "platform/win32.h"

namespace sim {

class Registry;
struct Key;

// Last-error codes the manager gives that the library never names.
constexpr DWORD kErrorInvalidAddress = 487;            // ERROR_INVALID_ADDRESS: a null name
constexpr DWORD kErrorDatabaseDoesNotExist = 1065;     // ERROR_DATABASE_DOES_NOT_EXIST
constexpr DWORD kRpcServerUnavailable = 1722;          // RPC_S_SERVER_UNAVAILABLE: a remote machine

// Letter case ignored, as service names are compared.
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

class ServiceManager {
public:
    // The service database key, with its root.
    static constexpr const char* kServicesPath = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";

    // --- Set-up and inspection (tests, tool) ---

    // What StartServiceA gives for the service NAME: 0 (the default) starts
    // it; any other code is the last error of a failed start, such as
    // ERROR_FILE_NOT_FOUND for a driver whose image cannot be found. Kept by
    // name, so it may be set before the service is created.
    void SetStartResult(std::string_view name, DWORD code);
    // Marks an existing service as running (or stopped) without a start.
    void SetRunning(std::string_view name, bool running);
    bool IsRunning(std::string_view name) const;
    bool IsMarkedForDeletion(std::string_view name) const;
    // How many services of this name CreateServiceA has made on this
    // machine: a service deleted and made anew between two looks at the
    // machine shows here, its key alone may not tell.
    unsigned Creations(std::string_view name) const;
    // Open handles of this kind, for the leak check.
    size_t OpenHandles() const { return handles_.size(); }

    // --- The Win32 functions' view (sim/win32_services.cpp) ---

    struct Handle {
        bool manager = false;  // a manager handle, else a service handle
        DWORD access = 0;      // granted rights, generic rights mapped
        std::string service;   // service handles: the name as the key spells it
    };
    SC_HANDLE AddHandle(const Handle& handle);
    Handle* Lookup(SC_HANDLE handle);
    bool CloseHandle(SC_HANDLE handle);
    // Handles still open to the service NAME.
    size_t HandlesTo(std::string_view name) const;

    // The service's key in reg, or null when there is no such service. A
    // name with a backslash never names a service.
    static Key* FindServiceKey(const Registry& reg, std::string_view name);
    static Key* ServicesKey(const Registry& reg);
    // The display name: the DisplayName value, else the service name.
    static std::string DisplayNameOf(const Key& key);

    DWORD StartResultOf(std::string_view name) const;
    void SetMarked(std::string_view name, bool marked);
    void NoteCreated(std::string_view name);
    // A service that is gone (deleted, or its key removed) keeps no state
    // but its start result.
    void Forget(std::string_view name);
    // Removes the service NAME and its key when it is marked for deletion,
    // stopped and no handle is open to it. True when it went.
    bool CollectIfDeleted(Registry& reg, std::string_view name);

private:
    std::map<std::string, DWORD, NoCaseLess> startResults_;  // name -> StartServiceA's last error
    std::set<std::string, NoCaseLess> running_;              // names of running services
    std::set<std::string, NoCaseLess> marked_;               // names marked for deletion
    std::map<std::string, unsigned, NoCaseLess> creations_;  // name -> services CreateServiceA made
    std::map<uintptr_t, Handle> handles_;                    // open SC_HANDLEs
    uintptr_t nextHandle_ = 0x5000;
};

}  // namespace sim

#endif  // PX714SUP_SIM_SERVICES_H
