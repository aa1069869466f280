// The simulated Windows machine that the host build of the library runs on.
//
// A test (or the px714sup tool) builds a Machine, makes it current with
// ScopedMachine, calls exports, and inspects the machine afterwards. The
// Win32 functions of platform/win32.h act on the current machine.
#ifndef PX714SUP_SIM_MACHINE_H
#define PX714SUP_SIM_MACHINE_H

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"
#include "sim/devices.h"
#include "sim/filesystem.h"
#include "sim/infstore.h"
#include "sim/registry.h"
#include "sim/services.h"

namespace sim {

// The systems a machine can be; QueryFails makes GetVersionExA fail.
enum class Os { Win95, Win98, WinMe, Nt4, Win2000, WinXp, QueryFails };

// Lower-case short names as the tool and the scenarios spell them:
// win95 win98 winme nt4 win2000 winxp fail.
const char* OsName(Os os);
std::optional<Os> OsFromName(std::string_view name);
// All six real systems, 95 first.
const std::vector<Os>& AllOs();

// What GetVersionExA reports.
struct VersionInfo {
    DWORD major = 5;                // dwMajorVersion
    DWORD minor = 1;                // dwMinorVersion
    DWORD build = 2600;             // dwBuildNumber
    DWORD platform = 2;             // dwPlatformId
    bool queryFails = false;        // GetVersionExA returns FALSE, record untouched
    std::string servicePack;        // szCSDVersion
};
VersionInfo VersionOf(Os os);

// "Fail the Nth call" of one operation, once or from then on. Only calls
// whose argument text contains `match` count (all calls when it is empty).
struct Fault {
    int failAt = 1;          // the first matching call that fails (1-based)
    bool sticky = false;     // keep failing every later matching call
    DWORD code = 0;          // the status or last error the failure gives
    std::string match;       // substring of the call's argument, case ignored
    int calls = 0;           // matching calls seen
    int injected = 0;        // failures given
};

class Machine {
public:
    explicit Machine(Os os = Os::WinXp);
    Machine(const Machine&) = default;
    Machine& operator=(const Machine&) = default;

    Os os() const { return os_; }
    void SetOs(Os os);
    VersionInfo version;   // what GetVersionExA reports; SetOs fills it
    // The registry family: 95/98/Me delete a key with its subkeys, NT refuses.
    bool IsNtFamily() const { return version.platform == VER_PLATFORM_WIN32_NT; }

    UINT codePage = 1252;              // ANSI code page
    DWORD lastError = 0;               // the thread's last error
    std::vector<std::string> debugOutput;  // OutputDebugStringA pieces, in order

    Registry registry;
    FileSystem files;
    DeviceInstaller devices;
    ServiceManager services;
    InfStore infs;

    // Local memory: live blocks by address, and a count of LocalAlloc calls.
    std::map<void*, size_t> allocations;
    int allocationCalls = 0;

    // Injected faults by operation name ("LocalAlloc", "RegOpenKeyExA" ...).
    std::map<std::string, std::vector<Fault>> faults;
    void InjectFault(const std::string& operation, Fault fault) { faults[operation].push_back(fault); }
    // Called by an operation with its argument text: the code of a fault
    // that hits this call, if one does.
    std::optional<DWORD> CheckFault(const std::string& operation, std::string_view argument = {});

    // Everything still open: registry keys, device lists, file searches,
    // service handles and local memory blocks.
    size_t OpenHandleCount() const;
    std::string OpenHandleReport() const;  // which kinds are open, for test messages

    // The trace as one text, pieces joined.
    std::string TraceText() const;

    // Registry convenience, paths with a root name ("HKLM\\SOFTWARE\\X",
    // "HKEY_LOCAL_MACHINE\\...", HKCU, HKCR, HKU).
    // Loads .reg text (REGEDIT4 or version 5 syntax) into the registry;
    // throws std::runtime_error with line and column on a malformed text.
    void LoadReg(std::string_view text);
    // The subtree at path as .reg text, keys in enumeration order, one line
    // per value, no wrapping; "" when the key does not exist.
    std::string Dump(std::string_view path) const;
    bool KeyExists(std::string_view path) const;
    // A key that opens for reading but refuses KEY_ALL_ACCESS and deletion
    // on the NT family, as NT's Enum keys do.
    void RestrictKey(std::string_view path, bool restricted = true);

private:
    Os os_;
};

// The machine the Win32 functions act on.
Machine& Current();
bool HasCurrent();

// Makes a machine current for its lifetime; restores the previous one.
class ScopedMachine {
public:
    explicit ScopedMachine(Machine& machine);
    ~ScopedMachine();
    ScopedMachine(const ScopedMachine&) = delete;
    ScopedMachine& operator=(const ScopedMachine&) = delete;

private:
    Machine* previous_;
};

}  // namespace sim

#endif  // PX714SUP_SIM_MACHINE_H
