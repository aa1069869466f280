#include "sim/machine.h"

#include <sstream>

namespace sim {

namespace {
Machine* g_current = nullptr;

bool ContainsNoCase(std::string_view text, std::string_view part) {
    if (part.empty()) return true;
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if (CompareKeyNames(text.substr(i, part.size()), part) == 0) return true;
    return false;
}
}  // namespace

const char* OsName(Os os) {
    switch (os) {
    case Os::Win95: return "win95";
    case Os::Win98: return "win98";
    case Os::WinMe: return "winme";
    case Os::Nt4: return "nt4";
    case Os::Win2000: return "win2000";
    case Os::WinXp: return "winxp";
    case Os::QueryFails: return "fail";
    }
    return "?";
}

std::optional<Os> OsFromName(std::string_view name) {
    for (Os os : {Os::Win95, Os::Win98, Os::WinMe, Os::Nt4, Os::Win2000, Os::WinXp, Os::QueryFails})
        if (CompareKeyNames(name, OsName(os)) == 0) return os;
    // Wine's names for the same modes.
    if (CompareKeyNames(name, "nt40") == 0) return Os::Nt4;
    if (CompareKeyNames(name, "win2k") == 0) return Os::Win2000;
    return std::nullopt;
}

const std::vector<Os>& AllOs() {
    static const std::vector<Os> all = {Os::Win95, Os::Win98, Os::WinMe, Os::Nt4, Os::Win2000, Os::WinXp};
    return all;
}

VersionInfo VersionOf(Os os) {
    VersionInfo v;
    switch (os) {
    case Os::Win95: v = {4, 0, 950, VER_PLATFORM_WIN32_WINDOWS, false, ""}; break;
    case Os::Win98: v = {4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS, false, ""}; break;
    case Os::WinMe: v = {4, 90, 3000, VER_PLATFORM_WIN32_WINDOWS, false, ""}; break;
    case Os::Nt4: v = {4, 0, 1381, VER_PLATFORM_WIN32_NT, false, "Service Pack 6"}; break;
    case Os::Win2000: v = {5, 0, 2195, VER_PLATFORM_WIN32_NT, false, "Service Pack 4"}; break;
    case Os::WinXp: v = {5, 1, 2600, VER_PLATFORM_WIN32_NT, false, "Service Pack 3"}; break;
    case Os::QueryFails: v = {0, 0, 0, 0, true, ""}; break;
    }
    return v;
}

Machine::Machine(Os os) { SetOs(os); }

void Machine::SetOs(Os os) {
    os_ = os;
    version = VersionOf(os);
    // The inf folder lies in the version's Windows directory.
    infs.folder = DefaultWindowsDirectory(version.platform, version.major, version.minor) + "\\inf";
}

std::optional<DWORD> Machine::CheckFault(const std::string& operation, std::string_view argument) {
    auto it = faults.find(operation);
    if (it == faults.end()) return std::nullopt;
    for (Fault& f : it->second) {
        if (!ContainsNoCase(argument, f.match)) continue;
        ++f.calls;
        if (f.calls == f.failAt || (f.sticky && f.calls > f.failAt)) {
            ++f.injected;
            return f.code;
        }
    }
    return std::nullopt;
}

size_t Machine::OpenHandleCount() const {
    return registry.OpenHandles() + files.OpenHandles() + devices.OpenHandles() + services.OpenHandles() +
           allocations.size();
}

std::string Machine::OpenHandleReport() const {
    std::ostringstream out;
    out << "registry keys " << registry.OpenHandles() << ", file searches " << files.OpenHandles()
        << ", device lists " << devices.OpenHandles() << ", service handles " << services.OpenHandles()
        << ", memory blocks " << allocations.size();
    return out.str();
}

std::string Machine::TraceText() const {
    std::string all;
    for (auto& piece : debugOutput) all += piece;
    return all;
}

bool Machine::KeyExists(std::string_view path) const { return registry.FindPath(path) != nullptr; }

void Machine::RestrictKey(std::string_view path, bool restricted) {
    Key* key = registry.FindPath(path);
    if (key == nullptr) throw std::runtime_error("RestrictKey: no key " + std::string(path));
    key->restricted = restricted;
}

Machine& Current() {
    if (g_current == nullptr) throw std::logic_error("no simulated machine is current");
    return *g_current;
}

bool HasCurrent() { return g_current != nullptr; }

ScopedMachine::ScopedMachine(Machine& machine) : previous_(g_current) { g_current = &machine; }

ScopedMachine::~ScopedMachine() { g_current = previous_; }

}  // namespace sim
