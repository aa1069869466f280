#include "tools/exports.h"

#include "frame/px714sup.h"
#include "sim/registry.h"

namespace px714tool {

namespace {

using K = ArgKind;
using A = const CallArguments&;

}  // namespace

const std::vector<ExportInfo>& Exports() {
    static const std::vector<ExportInfo> table = {
        {"CheckServiceName", 1, 1, {K::Text, K::Text}, {"service name", ""}, [](A a) { return CheckServiceName(a.text[0]); }},
        {"FindLegacyPlayers", 2, 0, {K::Text, K::Text}, {"", ""},
         [](A a) { return FindLegacyPlayers(a.playerIndexOut, a.displayNameOut); }},
        {"InstallFilter", 3, 2, {K::Text, K::Text}, {"service name", "driver path"}, [](A a) { return InstallFilter(a.text[0], a.text[1]); }},
        {"RegisterInf", 4, 2, {K::Text, K::Text}, {"source directory", "INF file name"}, [](A a) { return RegisterInf(a.text[0], a.text[1]); }},
        {"RemoveDeviceForDeviceType", 5, 2, {K::Text, K::DeviceType}, {"hardware-ID prefix", "device type"},
         [](A a) { return RemoveDeviceForDeviceType(a.text[0], a.number); }},
        {"RemoveDeviceRegEntries", 6, 0, {K::Text, K::Text}, {"", ""}, [](A) { return RemoveDeviceRegEntries(); }},
        {"RemoveFilter", 7, 2, {K::Text, K::Text}, {"service name", "driver path"}, [](A a) { return RemoveFilter(a.text[0], a.text[1]); }},
        {"RemoveInstalledLegacyPlayer", 8, 2, {K::PlayerIndex, K::DisplayName}, {"player index", "display name"},
         [](A a) { return RemoveInstalledLegacyPlayer(a.number, a.displayName); }},
        {"RemoveLegacyPlayerDrivers", 9, 0, {K::Text, K::Text}, {"", ""}, [](A) { return RemoveLegacyPlayerDrivers(); }},
        {"RemoveLegacyPlayerHook", 10, 0, {K::Text, K::Text}, {"", ""}, [](A) { return RemoveLegacyPlayerHook(); }},
        {"RemoveLegacyPlayerRemnants", 11, 1, {K::PlayerIndex, K::Text}, {"player index", ""},
         [](A a) { return RemoveLegacyPlayerRemnants(static_cast<int>(a.number)); }},
        {"RemovePlayerRemnants", 12, 0, {K::Text, K::Text}, {"", ""}, [](A) { return RemovePlayerRemnants(); }},
        {"RemoveVolumeRegEntries", 13, 0, {K::Text, K::Text}, {"", ""}, [](A) { return RemoveVolumeRegEntries(); }},
        {"UpdateInf", 14, 2, {K::Text, K::Text}, {"source directory", "INF file name"}, [](A a) { return UpdateInf(a.text[0], a.text[1]); }},
    };
    return table;
}

const ExportInfo* FindExport(std::string_view name) {
    for (const ExportInfo& e : Exports())
        if (sim::CompareKeyNames(e.name, name) == 0) return &e;
    return nullptr;
}

}  // namespace px714tool
