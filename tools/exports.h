// The fourteen exports of px714sup.dll as the tool calls them: names,
// ordinals, argument kinds, and a uniform way to call each.
#ifndef PX714SUP_TOOLS_EXPORTS_H
#define PX714SUP_TOOLS_EXPORTS_H

#include <cstdint>
#include <string_view>
#include <vector>

namespace px714tool {

// What one argument of an export is, as the user gives it.
enum class ArgKind {
    Text,          // const char*: a service name, a path, a hardware-ID prefix
    DeviceType,    // 32-bit unsigned: a DEVICETYPE_ code (0 to 6) or its name
    PlayerIndex,   // a catalogue row, 0 to 37 (FindLegacyPlayers's $index)
    DisplayName,   // a writable 128-byte text buffer (FindLegacyPlayers's $name)
};

// The arguments of one call, ready for the export.
struct CallArguments {
    const char* text[2] = {nullptr, nullptr};  // Text arguments, in order
    uint32_t number = 0;                        // DeviceType or PlayerIndex
    char* displayName = nullptr;                // DisplayName buffer, 128 bytes
    unsigned short* playerIndexOut = nullptr;   // FindLegacyPlayers's outputs
    char* displayNameOut = nullptr;
};

struct ExportInfo {
    const char* name;            // as exported
    int ordinal;                 // 1 to 14
    int argCount;                // arguments the user gives (FindLegacyPlayers: none)
    ArgKind args[2];             // their kinds
    const char* argNames[2];     // their names, for help and messages
    int (*invoke)(const CallArguments&);
};

// All fourteen, in ordinal order.
const std::vector<ExportInfo>& Exports();
// By name, letter case ignored; null when there is none.
const ExportInfo* FindExport(std::string_view name);

}  // namespace px714tool

#endif  // PX714SUP_TOOLS_EXPORTS_H
