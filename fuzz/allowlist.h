// The targets of each export: what one call may change on a machine, worked
// out from the machine as it was before the call and the call's arguments.
// Each list is written from what the export is documented to remove, not
// from its code, so that a change outside it shows a fault in the library
// (or in this list). The fuzzer checks every call against these lists, and
// the unit tests check the lists themselves.
#ifndef PX714SUP_FUZZ_ALLOWLIST_H
#define PX714SUP_FUZZ_ALLOWLIST_H

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/changes.h"
#include "sim/machine.h"

namespace px714check {

// The fourteen exports, in ordinal order.
enum class Export {
    CheckServiceName,
    FindLegacyPlayers,
    InstallFilter,
    RegisterInf,
    RemoveDeviceForDeviceType,
    RemoveDeviceRegEntries,
    RemoveFilter,
    RemoveInstalledLegacyPlayer,
    RemoveLegacyPlayerDrivers,
    RemoveLegacyPlayerHook,
    RemoveLegacyPlayerRemnants,
    RemovePlayerRemnants,
    RemoveVolumeRegEntries,
    UpdateInf,
};
constexpr int kExportCount = 14;
const char* ExportName(Export which);

// One call: the export and its arguments. Texts are the first and second
// text argument (service name and driver path, source directory and INF
// name, hardware-ID prefix, display name); number is the index or device
// type.
struct Call {
    Export which;
    std::string text1;
    std::string text2;
    uint32_t number = 0;
};

class AllowList {
public:
    // A registry key and everything below it may be removed; with
    // anyChange, keys and values below it may also be added and changed.
    void KeySubtree(const std::string& fullPath, bool anyChange = false);
    void KeySubtree(const std::vector<std::string>& path, bool anyChange = false);
    // The key itself may be removed, nothing below it on this account.
    void KeyOnly(const std::vector<std::string>& path);
    // One value of a key may be removed.
    void ValueRemoval(const std::string& keyPath, const std::string& valueName);
    // One value of an existing key may be set to exactly this type and data.
    void ValueSet(const std::string& keyPath, const std::string& valueName, DWORD type, std::vector<uint8_t> data);
    // The files that lie directly in a folder, and then the folder itself,
    // may be removed: a path resolved on `machine`. Nothing else below it.
    void FolderCleaning(const sim::Machine& machine, const std::string& folderPath);
    // One file (not a folder) may be removed.
    void FileRemoval(const sim::Machine& machine, const std::string& filePath);
    // The service's state may change, and its key may be created (with the
    // keys on its way, where the database lacks them), changed and removed.
    void Service(const std::string& name);
    // An INF copy of exactly this text may be added (registration) or may
    // replace an older or equal version (update).
    // Files added or changed directly in the inf folder, named *.inf.
    void InfFolder(const sim::Machine& machine, const std::string& folderPath);
    void InfAddition(const std::string& text);
    void InfReplacement(const std::string& text);

    bool Permits(const Change& change, const sim::Machine& before, const sim::Machine& after) const;
    // The targets, one a line, for failure reports.
    std::string Describe() const;
    const std::vector<std::string>& ServiceNames() const { return services_; }

private:
    struct Subtree {
        std::vector<std::string> path;
        bool anyChange;
    };
    struct ValueRule {
        std::vector<std::string> key;
        std::string name;
        bool removal;
        DWORD type;
        std::vector<uint8_t> data;
    };
    std::vector<Subtree> subtrees_;
    std::vector<std::vector<std::string>> keysOnly_;
    std::vector<std::vector<std::string>> creatable_;  // keys that may be created on the way
    std::vector<ValueRule> values_;
    std::vector<std::vector<std::string>> folders_;
    std::vector<std::vector<std::string>> files_;
    std::vector<std::vector<std::string>> infFolders_;
    std::vector<std::string> services_;
    std::vector<std::string> infAdditions_;
    std::vector<std::string> infReplacements_;
};

// What `call` may change on `before`.
AllowList AllowedChanges(const sim::Machine& before, const Call& call);

// The changes that `call` made (before -> after) that its allow-list does
// not permit. Registration and update also may touch one INF copy at most.
std::vector<Change> Violations(const sim::Machine& before, const sim::Machine& after, const Call& call);

}  // namespace px714check

#endif  // PX714SUP_FUZZ_ALLOWLIST_H
