#include "tools/exports.h"

#include "frame/px714sup.h"
#include "sim/registry.h"

// Exports still being built on other branches are weak references: where
// one is missing it reads as null, and a call of it reports "not built".
// These weak references go once every export has landed.
extern "C" {
int WINAPI CheckServiceName(const char* serviceName) __attribute__((weak));
int WINAPI InstallFilter(const char* serviceName, const char* driverPath) __attribute__((weak));
int WINAPI RegisterInf(const char* sourceDirectory, const char* infFileName) __attribute__((weak));
int WINAPI RemoveDeviceForDeviceType(const char* hardwareIdPrefix, unsigned int deviceType) __attribute__((weak));
int WINAPI RemoveDeviceRegEntries(void) __attribute__((weak));
int WINAPI RemoveFilter(const char* serviceName, const char* driverPath) __attribute__((weak));
int WINAPI RemoveInstalledLegacyPlayer(unsigned int playerIndex, char* displayName) __attribute__((weak));
int WINAPI RemoveLegacyPlayerDrivers(void) __attribute__((weak));
int WINAPI RemoveLegacyPlayerHook(void) __attribute__((weak));
int WINAPI RemoveLegacyPlayerRemnants(int playerIndex) __attribute__((weak));
int WINAPI RemovePlayerRemnants(void) __attribute__((weak));
int WINAPI RemoveVolumeRegEntries(void) __attribute__((weak));
int WINAPI UpdateInf(const char* sourceDirectory, const char* infFileName) __attribute__((weak));
}

namespace px714tool {

namespace {

template <class F>
bool Present(F* function) {
    return function != nullptr;
}

using K = ArgKind;
using A = const CallArguments&;

}  // namespace

const std::vector<ExportInfo>& Exports() {
    static const std::vector<ExportInfo> table = {
        {"CheckServiceName", 1, 1, {K::Text, K::Text}, {"service name", ""},
         [] { return Present(&CheckServiceName); }, [](A a) { return CheckServiceName(a.text[0]); }},
        {"FindLegacyPlayers", 2, 0, {K::Text, K::Text}, {"", ""},
         [] { return Present(&FindLegacyPlayers); },
         [](A a) { return FindLegacyPlayers(a.playerIndexOut, a.displayNameOut); }},
        {"InstallFilter", 3, 2, {K::Text, K::Text}, {"service name", "driver path"},
         [] { return Present(&InstallFilter); }, [](A a) { return InstallFilter(a.text[0], a.text[1]); }},
        {"RegisterInf", 4, 2, {K::Text, K::Text}, {"source directory", "INF file name"},
         [] { return Present(&RegisterInf); }, [](A a) { return RegisterInf(a.text[0], a.text[1]); }},
        {"RemoveDeviceForDeviceType", 5, 2, {K::Text, K::DeviceType}, {"hardware-ID prefix", "device type"},
         [] { return Present(&RemoveDeviceForDeviceType); },
         [](A a) { return RemoveDeviceForDeviceType(a.text[0], a.number); }},
        {"RemoveDeviceRegEntries", 6, 0, {K::Text, K::Text}, {"", ""},
         [] { return Present(&RemoveDeviceRegEntries); }, [](A) { return RemoveDeviceRegEntries(); }},
        {"RemoveFilter", 7, 2, {K::Text, K::Text}, {"service name", "driver path"},
         [] { return Present(&RemoveFilter); }, [](A a) { return RemoveFilter(a.text[0], a.text[1]); }},
        {"RemoveInstalledLegacyPlayer", 8, 2, {K::PlayerIndex, K::DisplayName}, {"player index", "display name"},
         [] { return Present(&RemoveInstalledLegacyPlayer); },
         [](A a) { return RemoveInstalledLegacyPlayer(a.number, a.displayName); }},
        {"RemoveLegacyPlayerDrivers", 9, 0, {K::Text, K::Text}, {"", ""},
         [] { return Present(&RemoveLegacyPlayerDrivers); }, [](A) { return RemoveLegacyPlayerDrivers(); }},
        {"RemoveLegacyPlayerHook", 10, 0, {K::Text, K::Text}, {"", ""},
         [] { return Present(&RemoveLegacyPlayerHook); }, [](A) { return RemoveLegacyPlayerHook(); }},
        {"RemoveLegacyPlayerRemnants", 11, 1, {K::PlayerIndex, K::Text}, {"player index", ""},
         [] { return Present(&RemoveLegacyPlayerRemnants); },
         [](A a) { return RemoveLegacyPlayerRemnants(static_cast<int>(a.number)); }},
        {"RemovePlayerRemnants", 12, 0, {K::Text, K::Text}, {"", ""},
         [] { return Present(&RemovePlayerRemnants); }, [](A) { return RemovePlayerRemnants(); }},
        {"RemoveVolumeRegEntries", 13, 0, {K::Text, K::Text}, {"", ""},
         [] { return Present(&RemoveVolumeRegEntries); }, [](A) { return RemoveVolumeRegEntries(); }},
        {"UpdateInf", 14, 2, {K::Text, K::Text}, {"source directory", "INF file name"},
         [] { return Present(&UpdateInf); }, [](A a) { return UpdateInf(a.text[0], a.text[1]); }},
    };
    return table;
}

const ExportInfo* FindExport(std::string_view name) {
    for (const ExportInfo& e : Exports())
        if (sim::CompareKeyNames(e.name, name) == 0) return &e;
    return nullptr;
}

}  // namespace px714tool
